# The demo copied into a folder whose path is longer than 600 characters and
# holds non-ASCII names must report that folder as its program folder, and its
# file name without the last extension as its name (on Linux the copy is
# named tamberlin-demo.x86_64). On Linux without /proc both are still known
# from argv[0] (run where a mount namespace can hide /proc).
#   cmake -DEXE=... -DWORK=... [-DEMULATOR=...] -P long_path.cmake
get_filename_component(name "${EXE}" NAME)
get_filename_component(expected_name "${EXE}" NAME_WLE)
if(NOT EMULATOR)
  set(name "${name}.x86_64")
endif()
# Some Wine builds cannot start any program from a path longer than MAX_PATH:
# the launcher fails with status 1 before the program prints a line
# ("Application could not be started", or nothing). There the run is made
# again from the deepest folder that keeps the program's path within
# MAX_PATH, and says so.
string(LENGTH "${WORK}/long-path/${name}" base)
math(EXPR within "(259 - ${base}) / 56") # a level is 56 bytes, 54 characters
foreach(levels 11 ${within})
  set(folder "${WORK}/long-path")
  foreach(i RANGE 1 ${levels})
    string(APPEND folder "/Ordner-Grüße-${i}-abcdefghijklmnopqrstuvwxyz0123456789")
  endforeach()
  file(REMOVE_RECURSE "${WORK}/long-path")
  file(MAKE_DIRECTORY "${folder}")
  file(COPY_FILE "${EXE}" "${folder}/${name}")
  execute_process(COMMAND ${EMULATOR} "${folder}/${name}" info
    WORKING_DIRECTORY "${WORK}" OUTPUT_VARIABLE out ERROR_VARIABLE errors RESULT_VARIABLE rc)
  file(REMOVE_RECURSE "${WORK}/long-path")
  if(NOT EMULATOR OR NOT rc EQUAL 1 OR out MATCHES "strAppTitle" OR within LESS 1)
    break()
  endif()
  string(LENGTH "${folder}" length)
  message(STATUS "Wine does not start a program from a folder of ${length} characters")
endforeach()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the demo failed (${rc}):\n${out}${errors}")
endif()
if(NOT out MATCHES "strAppEXEName: ${expected_name}\r?\n")
  message(FATAL_ERROR "strAppEXEName is not ${expected_name} for ${name}:\n${out}")
endif()
if(NOT EMULATOR)
  execute_process(COMMAND unshare -r -m true RESULT_VARIABLE namespaces ERROR_QUIET)
  if(namespaces EQUAL 0)
    # Started by its path, and by its name on $PATH. (LeakSanitizer cannot
    # work without /proc: under the sanitizers it fails the exit.)
    get_filename_component(exe_folder "${EXE}" DIRECTORY)
    foreach(started "exec \"$0\"" "PATH=\"\${0%/*}\" exec tamberlin-demo")
      execute_process(COMMAND unshare -r -m sh -c "mount -t tmpfs none /proc && ${started} info"
          "${EXE}"
        WORKING_DIRECTORY "${WORK}" OUTPUT_VARIABLE hidden ERROR_VARIABLE errors RESULT_VARIABLE rc)
      if(errors MATCHES "LeakSanitizer has encountered a fatal error")
        set(rc 0)
      endif()
      if(NOT rc EQUAL 0 OR NOT hidden MATCHES "strAppEXEName: ${expected_name}\n"
         OR NOT hidden MATCHES "strAppPath: ${exe_folder}/\n")
        message(FATAL_ERROR "without /proc (${rc}), started as ${started}, the name is not "
          "${expected_name} or the folder not ${exe_folder}:\n${hidden}")
      endif()
    endforeach()
  else()
    message(STATUS "no mount namespace here: the run without /proc is left out")
  endif()
endif()
string(REGEX MATCH "strAppPath: ([^\r\n]*)" line "${out}")
string(REPLACE "\\" "/" reported "${CMAKE_MATCH_1}")
string(LENGTH "${folder}" length)
# Under Wine the folder is reported on drive Z:, the Unix root.
if(NOT reported STREQUAL "${folder}/" AND NOT reported STREQUAL "Z:${folder}/")
  message(FATAL_ERROR "strAppPath is\n  ${reported}\nbut the program is in (${length} characters)\n  ${folder}/")
endif()
message(STATUS "program folder of ${length} characters reported whole")
