# The Win32 host against Wine's windows and message boxes (included by
# tests/CMakeLists.txt in the Windows build).
# Both drive windows with the same helpers (tests/support/win32_driver.h).
tamberlin_test(host_win32_tests platform/host_win32_test.cpp)
target_sources(host_win32_tests PRIVATE support/win32_driver.cpp)

# The demo's main window driven from another process: the real
# tamberlin-demo.exe, its windows found by caption and clicked with messages.
tamberlin_test(demo_win32_tests platform/demo_win32_test.cpp)
target_sources(demo_win32_tests PRIVATE support/win32_driver.cpp)
target_compile_definitions(demo_win32_tests PRIVATE TAMBERLIN_DEMO="$<TARGET_FILE:tamberlin-demo>")
add_dependencies(demo_win32_tests tamberlin-demo)
set_tests_properties(demo_win32_tests PROPERTIES TIMEOUT 150)
