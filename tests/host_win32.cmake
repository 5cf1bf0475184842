# The Win32 host against Wine's windows and message boxes (included by
# tests/CMakeLists.txt in the Windows build).
tamberlin_test(host_win32_tests platform/host_win32_test.cpp)
