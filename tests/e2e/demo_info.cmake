# tamberlin-demo info in the locale the test sets: it ends well and reports
# the locale's decimal separator.
#   cmake -DDEMO=... -DWORK=... -DCODE=... [-DEMULATOR=...] -P demo_info.cmake
include(${CMAKE_CURRENT_LIST_DIR}/demo_driver.cmake)
run_demo("" info)
if(NOT out MATCHES "intDecimalSeparator: ${CODE}\n")
  message(FATAL_ERROR "expected intDecimalSeparator: ${CODE} in\n${out}")
endif()
