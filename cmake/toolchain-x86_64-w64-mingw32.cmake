# 64-bit Windows: the same Win32 code as the 32-bit build, for testing it under
# Wine on machines that cannot run 32-bit programs.
set(TAMBERLIN_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
