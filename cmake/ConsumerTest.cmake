# The find-package test: installs this build into a fresh prefix, builds
# examples/consumer against the installed package with the same compiler (the
# same toolchain file for Windows), runs it with the terminal UI and stdin at
# end of input, and checks what it reports.
#
# Included from the root CMakeLists.txt, this file registers the test; the
# test runs this same file as a script (cmake -P).

if(NOT CMAKE_SCRIPT_MODE_FILE)
  set(consumer_flags "-Wall -Wextra -Wpedantic -Werror")
  set(consumer_link_flags "")
  if(TAMBERLIN_SANITIZE)
    string(APPEND consumer_flags " -fsanitize=address,undefined -fno-omit-frame-pointer")
    set(consumer_link_flags "-fsanitize=address,undefined")
  endif()
  add_test(NAME find-package
    COMMAND ${CMAKE_COMMAND}
      -DBUILD_DIR=${PROJECT_BINARY_DIR}
      -DSOURCE_DIR=${PROJECT_SOURCE_DIR}/examples/consumer
      -DWORK=${PROJECT_BINARY_DIR}/find-package
      -DGENERATOR=${CMAKE_GENERATOR}
      -DMAKE_PROGRAM=${CMAKE_MAKE_PROGRAM}
      -DBUILD_TYPE=${CMAKE_BUILD_TYPE}
      -DCXX_COMPILER=${CMAKE_CXX_COMPILER}
      -DTOOLCHAIN=${CMAKE_TOOLCHAIN_FILE}
      "-DCXX_FLAGS=${consumer_flags}"
      "-DLINK_FLAGS=${consumer_link_flags}"
      -DPACKAGE_DIR=${tamberlin_package_dir}
      -DSUFFIX=${CMAKE_EXECUTABLE_SUFFIX}
      "-DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}"
      -P ${CMAKE_CURRENT_LIST_FILE})
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
file(REMOVE_RECURSE ${WORK})

run("installing the build" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

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

# Its own XDG folders, so the run leaves the real user's settings alone
# (under Wine it writes into the test prefix).
set(ENV{TAMBERLIN_UI} terminal)
set(ENV{LC_ALL} C)
set(ENV{XDG_CONFIG_HOME} ${WORK}/home/config)
set(ENV{XDG_DATA_HOME} ${WORK}/home/data)
set(ENV{XDG_CONFIG_DIRS} ${WORK}/home/etc)
string(TIMESTAMP started "%s" UTC)
execute_process(COMMAND ${EMULATOR} ${build}/consumer${SUFFIX} INPUT_FILE /dev/null
  WORKING_DIRECTORY ${WORK} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE errors)
string(REPLACE "\r\n" "\n" out "${out}")
message(STATUS "consumer output:\n${out}${errors}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the consumer exited with ${rc}")
endif()

# The dialog was shown with the application's title and the error, end of
# input closed it, and the trap carried on after the statement.
foreach(expected "title: Consumer\n" "=== Consumer Error ===\n"
                 "File not found opening the settings file.\n" "Error number: 53\n"
                 "response: 5 (continued)\n")
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
