# Helpers shared by every target of the project.

# The warnings every target of ours is built with; errors with TAMBERLIN_WERROR
# (on in the presets, so on both targets of our own builds).
function(tamberlin_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow)
  if(TAMBERLIN_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  # GCC 12 reports overlapping copies inside std::string's operator+ when it
  # optimises (its bug 105329): a false alarm, not ours to silence line by line.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
     AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
endfunction()

# An executable of ours. On Windows each one carries the version resource, so
# the run-time's application object reads its version from the file itself.
# Each carries a build ID (on Windows a CodeView record), which crash records
# name so that a report can be matched to the exact build.
function(tamberlin_add_executable name)
  add_executable(${name} ${ARGN})
  tamberlin_warnings(${name})
  target_link_options(${name} PRIVATE -Wl,--build-id)
  if(WIN32)
    target_sources(${name} PRIVATE ${PROJECT_BINARY_DIR}/version.rc)
  endif()
endfunction()

if(WIN32)
  enable_language(RC)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/version.rc.in ${PROJECT_BINARY_DIR}/version.rc @ONLY)
endif()
