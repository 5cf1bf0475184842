# What the scripts that drive tamberlin-demo through the terminal share.
# They run with -DDEMO=... -DWORK=... [-DEMULATOR=...].
set(ENV{TAMBERLIN_UI} terminal)

# run_demo(INPUT ARGS...): runs the demo with INPUT on stdin and the
# arguments given; sets `out` to what it printed (line breaks as LF).
function(run_demo input)
  file(WRITE "${WORK}/demo-input.txt" "${input}")
  execute_process(COMMAND ${EMULATOR} "${DEMO}" ${ARGN}
    INPUT_FILE "${WORK}/demo-input.txt" WORKING_DIRECTORY "${WORK}"
    OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE rc)
  string(REPLACE "\r\n" "\n" output "${output}")
  # A sanitizer's report fails the run even where it leaves the exit code 0.
  if(NOT rc EQUAL 0 OR errors MATCHES "Sanitizer|runtime error:")
    message(FATAL_ERROR "tamberlin-demo ${ARGN}: exit ${rc}\n${output}${errors}")
  endif()
  set(out "${output}" PARENT_SCOPE)
endfunction()

# expect(TEXT): `out` holds TEXT.
function(expect text)
  string(FIND "${out}" "${text}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "expected\n  ${text}\nin\n${out}")
  endif()
endfunction()

# The demo's error log as a Unix path, emptied for a fresh run: the path
# `tamberlin-demo info` reports (under Wine converted by winepath).
function(demo_error_log_path var)
  run_demo("" info)
  string(REGEX MATCH "ErrorLogPath: ([^\n]*)" _ "${out}")
  set(log "${CMAKE_MATCH_1}")
  if(EMULATOR)
    execute_process(COMMAND ${EMULATOR} winepath -u "${log}" OUTPUT_VARIABLE log
      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
  if(log STREQUAL "")
    message(FATAL_ERROR "tamberlin-demo info reported no error log:\n${out}")
  endif()
  file(REMOVE "${log}")
  set(${var} "${log}" PARENT_SCOPE)
endfunction()
