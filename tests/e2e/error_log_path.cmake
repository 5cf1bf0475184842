# The demo's error log as a Unix path, emptied for a fresh run: the path
# `tamberlin-demo info` reports (under Wine converted by winepath).
function(demo_error_log_path out)
  execute_process(COMMAND ${EMULATOR} "${DEMO}" info OUTPUT_VARIABLE info WORKING_DIRECTORY "${WORK}")
  string(REGEX MATCH "ErrorLogPath: ([^\r\n]*)" _ "${info}")
  set(log "${CMAKE_MATCH_1}")
  if(EMULATOR)
    execute_process(COMMAND ${EMULATOR} winepath -u "${log}" OUTPUT_VARIABLE log
      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
  if(log STREQUAL "")
    message(FATAL_ERROR "tamberlin-demo info reported no error log:\n${info}")
  endif()
  file(REMOVE "${log}")
  set(${out} "${log}" PARENT_SCOPE)
endfunction()
