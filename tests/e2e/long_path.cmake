# The demo copied into a folder whose path is longer than 600 characters and
# holds non-ASCII names must report that folder as its program folder.
#   cmake -DEXE=... -DWORK=... [-DEMULATOR=...] -P long_path.cmake
set(folder "${WORK}/long-path")
foreach(i RANGE 1 11)
  string(APPEND folder "/Ordner-Grüße-${i}-abcdefghijklmnopqrstuvwxyz0123456789")
endforeach()
file(REMOVE_RECURSE "${WORK}/long-path")
file(MAKE_DIRECTORY "${folder}")
file(COPY "${EXE}" DESTINATION "${folder}")
get_filename_component(name "${EXE}" NAME)
execute_process(COMMAND ${EMULATOR} "${folder}/${name}" info
  WORKING_DIRECTORY "${WORK}" OUTPUT_VARIABLE out RESULT_VARIABLE rc)
file(REMOVE_RECURSE "${WORK}/long-path")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the demo failed (${rc}):\n${out}")
endif()
string(REGEX MATCH "strAppPath: ([^\r\n]*)" line "${out}")
string(REPLACE "\\" "/" reported "${CMAKE_MATCH_1}")
string(LENGTH "${folder}" length)
# Under Wine the folder is reported on drive Z:, the Unix root.
if(NOT reported STREQUAL "${folder}/" AND NOT reported STREQUAL "Z:${folder}/")
  message(FATAL_ERROR "strAppPath is\n  ${reported}\nbut the program is in (${length} characters)\n  ${folder}/")
endif()
message(STATUS "program folder of ${length} characters reported whole")
