# tamberlin-reg as a user runs it: add, query, export, delete, import, query.
#   cmake -DREG=... -DWORK=... [-DEMULATOR=...] -P reg_tool.cmake
set(key "HKCU\\Software\\TamberlinTests\\RegTool")
set(file "${WORK}/reg-tool.reg")

function(reg expect_rc)
  execute_process(COMMAND ${EMULATOR} "${REG}" ${ARGN} WORKING_DIRECTORY "${WORK}"
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT expect_rc STREQUAL "any" AND NOT rc EQUAL expect_rc)
    message(FATAL_ERROR "tamberlin-reg ${ARGN}: exit ${rc}, expected ${expect_rc}\n${out}${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()

function(expect_match text pattern)
  if(NOT text MATCHES "${pattern}")
    message(FATAL_ERROR "expected /${pattern}/ in:\n${text}")
  endif()
endfunction()

reg(any delete "${key}" /f) # may be left from an earlier run
reg(1 query "${key}")
expect_match("${err}" "^ERROR: The system was unable to find the specified registry key or value.\r?\n$")
reg(0 add "${key}\\Sub" /v Greeting /d "Grüße, \"quoted\" \\ text" /f)
reg(0 add "${key}" /v Count /t REG_DWORD /d 42 /f)
reg(0 query "${key}\\Sub" /v Greeting)
expect_match("${out}" "Greeting    REG_SZ    Grüße, \"quoted\" \\\\ text")
reg(0 export "${key}" "${file}" /y)
reg(0 delete "${key}" /f)
reg(0 import "${file}")
reg(0 query "${key}")
expect_match("${out}" "Count    REG_DWORD    0x2a")
reg(0 query "${key}\\Sub" /v Greeting)
expect_match("${out}" "Grüße, \"quoted\" \\\\ text")
reg(1 query "HKXX\\Software")
expect_match("${err}" "^ERROR: Invalid key name.\r?\n$")
reg(0 delete "${key}" /f)
file(REMOVE "${file}")
