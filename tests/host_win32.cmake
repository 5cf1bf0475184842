# The Win32 host against Wine's windows and message boxes (included by
# tests/CMakeLists.txt in the Windows build).
# It drives windows, its own and the demo's, with tests/support/win32_driver.h.
tamberlin_test(host_win32_tests platform/host_win32_test.cpp)
target_sources(host_win32_tests PRIVATE support/win32_driver.cpp)
target_compile_definitions(host_win32_tests PRIVATE TAMBERLIN_DEMO="$<TARGET_FILE:tamberlin-demo>")
add_dependencies(host_win32_tests tamberlin-demo)
# The demo writes the error log the terminal scripts count the lines of.
set_tests_properties(host_win32_tests PROPERTIES RESOURCE_LOCK demo_error_log)
