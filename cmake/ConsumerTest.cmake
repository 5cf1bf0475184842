# The find-package tests: install a build of the library into a fresh prefix,
# build examples/consumer against the installed package with the same
# compiler (the same toolchain file for Windows), run it and check what it
# reports.
#
# find-package installs this build and runs the consumer with the terminal
# UI and stdin at end of input. find-package-gui-none (native Linux builds
# without sanitizers: it costs a second build of the library) builds the
# library again with TAMBERLIN_GUI=none and no tests, and runs the consumer
# with a host of its own: neither the package nor the program may then ask
# for GTK or X11.
#
# Included from the root CMakeLists.txt, this file registers the tests; each
# runs this same file as a script (cmake -P).

if(NOT CMAKE_SCRIPT_MODE_FILE)
  set(consumer_flags "-Wall -Wextra -Wpedantic")
  if(TAMBERLIN_WERROR)
    string(APPEND consumer_flags " -Werror")
  endif()
  set(consumer_link_flags "")
  if(TAMBERLIN_SANITIZE)
    string(APPEND consumer_flags " -fsanitize=address,undefined -fno-omit-frame-pointer")
    set(consumer_link_flags "-fsanitize=address,undefined")
  endif()
  set(consumer_test_options
    -DSOURCE_DIR=${PROJECT_SOURCE_DIR}/examples/consumer
    -DGENERATOR=${CMAKE_GENERATOR}
    -DMAKE_PROGRAM=${CMAKE_MAKE_PROGRAM}
    -DBUILD_TYPE=${CMAKE_BUILD_TYPE}
    -DCXX_COMPILER=${CMAKE_CXX_COMPILER}
    -DTOOLCHAIN=${CMAKE_TOOLCHAIN_FILE}
    "-DCXX_FLAGS=${consumer_flags}"
    "-DLINK_FLAGS=${consumer_link_flags}"
    -DPACKAGE_DIR=${tamberlin_package_dir}
    -DSUFFIX=${CMAKE_EXECUTABLE_SUFFIX}
    "-DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}")
  add_test(NAME find-package
    COMMAND ${CMAKE_COMMAND} ${consumer_test_options}
      -DBUILD_DIR=${PROJECT_BINARY_DIR} -DWORK=${PROJECT_BINARY_DIR}/find-package
      -P ${CMAKE_CURRENT_LIST_FILE})
  if(NOT WIN32 AND NOT CMAKE_CROSSCOMPILING AND NOT TAMBERLIN_SANITIZE)
    add_test(NAME find-package-gui-none
      COMMAND ${CMAKE_COMMAND} ${consumer_test_options}
        -DLIBRARY_SOURCE_DIR=${PROJECT_SOURCE_DIR} -DC_COMPILER=${CMAKE_C_COMPILER}
        -DWERROR=${TAMBERLIN_WERROR} -DWORK=${PROJECT_BINARY_DIR}/find-package-gui-none
        -P ${CMAKE_CURRENT_LIST_FILE})
    set_tests_properties(find-package-gui-none PROPERTIES TIMEOUT 900)
  endif()
  return()
endif()

# run(WHAT COMMAND...): runs a step; stops the test when it fails. Sets `out`.
function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${output}")
  endif()
  set(out "${output}" PARENT_SCOPE)
endfunction()

set(prefix ${WORK}/install)
set(build ${WORK}/build)
# The GUI-less library's build folder stays: a later run rebuilds only what
# changed.
file(REMOVE_RECURSE ${prefix} ${build} ${WORK}/home)

if(LIBRARY_SOURCE_DIR)
  # What this test checks is what gets linked: the build type that compiles
  # quickest will do.
  set(BUILD_TYPE Debug)
  set(library ${WORK}/library)
  run("configuring the library without a graphical host" ${CMAKE_COMMAND}
    -S ${LIBRARY_SOURCE_DIR} -B ${library} -G ${GENERATOR} -DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM}
    -DCMAKE_BUILD_TYPE=${BUILD_TYPE} -DCMAKE_C_COMPILER=${C_COMPILER}
    -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DTAMBERLIN_GUI=none -DTAMBERLIN_BUILD_TESTS=OFF
    -DTAMBERLIN_BUILD_BENCHMARKS=OFF -DTAMBERLIN_WERROR=${WERROR})
  run("building the library" ${CMAKE_COMMAND} --build ${library} --target tamberlin_services)
  run("installing the library" ${CMAKE_COMMAND} --install ${library} --prefix ${prefix}
    --component Development)
else()
  run("installing the build" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
endif()

# Every header a consumer gets includes only what the package installs: a
# public header that reached for an internal one would break every consumer.
file(GLOB_RECURSE headers RELATIVE ${prefix}/include ${prefix}/include/*)
foreach(header IN LISTS headers)
  if(NOT header MATCHES "^tamberlin/")
    message(FATAL_ERROR "${header} is installed outside include/tamberlin/")
  endif()
  file(STRINGS ${prefix}/include/${header} includes REGEX "^#include \"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^#include \"([^\"]*)\".*" "\\1" included "${line}")
    if(NOT EXISTS ${prefix}/include/${included})
      message(FATAL_ERROR "${header} includes \"${included}\", which is not installed")
    endif()
  endforeach()
endforeach()

set(options -G ${GENERATOR} -DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM}
  -DCMAKE_BUILD_TYPE=${BUILD_TYPE} -DCMAKE_PREFIX_PATH=${prefix} "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}")
if(TOOLCHAIN)
  # The toolchain looks for packages only under the MinGW root: name the
  # package's folder itself.
  list(APPEND options -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}
    -DTamberlinServices_DIR=${prefix}/${PACKAGE_DIR})
else()
  list(APPEND options -DCMAKE_CXX_COMPILER=${CXX_COMPILER})
endif()
if(LINK_FLAGS)
  list(APPEND options "-DCMAKE_EXE_LINKER_FLAGS=${LINK_FLAGS}")
endif()
run("configuring the consumer" ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${build} ${options})
run("building the consumer" ${CMAKE_COMMAND} --build ${build})

if(LIBRARY_SOURCE_DIR)
  # The package did not look for GTK, and nothing graphical is linked in,
  # not even indirectly, nor libdw, which is opened only to report a crash
  # (SQLite shows that ldd listed the libraries).
  file(STRINGS ${build}/CMakeCache.txt asked REGEX "^GTK3")
  if(asked)
    message(FATAL_ERROR "the package looked for GTK:\n${asked}")
  endif()
  run("listing the consumer's libraries" ldd ${build}/consumer)
  if(out MATCHES "(libgtk|libgdk|libX11|libxcb|libdw)[^\n]*" OR NOT out MATCHES "libsqlite3")
    message(FATAL_ERROR "the consumer without a graphical host links:\n${out}")
  endif()
  set(arguments --own-host)
  set(shown "[form] Consumer Error\n")
else()
  set(arguments "")
  set(shown "=== Consumer Error ===\n")
endif()

# Its own XDG folders, so the run leaves the real user's settings alone
# (under Wine it writes into the test prefix).
set(ENV{TAMBERLIN_UI} terminal)
set(ENV{LC_ALL} C)
set(ENV{XDG_CONFIG_HOME} ${WORK}/home/config)
set(ENV{XDG_DATA_HOME} ${WORK}/home/data)
set(ENV{XDG_CONFIG_DIRS} ${WORK}/home/etc)
string(TIMESTAMP started "%s" UTC)
execute_process(COMMAND ${EMULATOR} ${build}/consumer${SUFFIX} ${arguments} INPUT_FILE /dev/null
  WORKING_DIRECTORY ${WORK} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE errors)
string(REPLACE "\r\n" "\n" out "${out}")
message(STATUS "consumer output:\n${out}${errors}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the consumer exited with ${rc}")
endif()

# The dialog was shown with the application's title and the error, by the
# terminal or the consumer's own host; closing it without a button let the
# trap carry on after the statement.
foreach(expected "title: Consumer\n" "${shown}" "File not found opening the settings file.\n"
                 "Error number: 53\n" "response: 5 (continued)\n")
  string(FIND "${out}" "${expected}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "expected \"${expected}\" in the consumer's output")
  endif()
endforeach()

# The error was logged under the consumer's name, by this run (under Wine the
# log lives on in the prefix).
string(REGEX MATCH "error log: ([^\n]*)" _ "${out}")
set(log "${CMAKE_MATCH_1}")
if(EMULATOR)
  execute_process(COMMAND ${EMULATOR} winepath -u "${log}" OUTPUT_VARIABLE log
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
get_filename_component(log_name "${log}" NAME)
if(NOT log_name STREQUAL "consumerError.log" OR NOT EXISTS "${log}")
  message(FATAL_ERROR "no error log at ${log}")
endif()
file(TIMESTAMP "${log}" written "%s" UTC)
file(READ "${log}" entries)
if(written LESS started OR
   NOT entries MATCHES ", opening the settings file, 53, File not found, Consumer, 0\r?\n$")
  message(FATAL_ERROR "this run's error is not the last entry of ${log}:\n${entries}")
endif()
