# tamberlin-demo raise driven through the terminal protocol on stdin, as a
# user at a console would: the message boxes, the dialog, the answer and the
# log line.
#   cmake -DDEMO=... -DWORK=... [-DEMULATOR=...] -P raise_terminal.cmake
include(${CMAKE_CURRENT_LIST_DIR}/demo_driver.cmake)

# run(INPUT ARGS...): tamberlin-demo raise ARGS with INPUT on stdin.
function(run input)
  run_demo("${input}" raise ${ARGN})
  set(out "${out}" PARENT_SCOPE)
endfunction()

function(expect_response r)
  if(NOT out MATCHES "response: ${r}\n$")
    message(FATAL_ERROR "expected the last line \"response: ${r}\" in\n${out}")
  endif()
endfunction()

demo_error_log_path(log)

# File in use: Retry in the box, then "Abort and close application" and OK.
# The dialog's Abort returns the box's answer.
run("r\nabort\nok\n" --number 70 --op "saving the file" --allow-abort)
expect("--- Tamberlin ---\nFile already in use. Close the file and retry the operation.\n[R]etry [C]ancel> ")
expect("=== Tamberlin Error ===\n\n\nTamberlin ")
expect("Error number: 70\nDescription: Permission denied\nSource: Tamberlin\nLast DLL err: 0\n")
expect("[ ] Abort and close application\n(ok, abort, retry)> \n[x] Abort and close application\n")
expect_response(4)

# The double-click on the message asks for a retry; the e-mail part is offered.
run("retry\n" --number 53 --description "No such project" --op "opening the project"
    --last-dll-error 2 --allow-email)
expect("File not found opening the project.\n")
expect("[x] Include current project data\n(ok, data, retry, email)> \nresponse: 4\n")
expect_response(4)

# Early returns: nothing shown.
run("" --number 32755)
expect_response(5)
run("c\n" --number 71)
expect("Disk not ready.")
expect_response(5)
# End of input closes the dialog without a button.
run("" --number 5 --op "counting")
expect("A process error has occurred counting.")
expect_response(5)

# Every line ends with CR LF (checked on the bytes: file(READ) as text drops
# the CRs).
file(READ "${log}" hex HEX)
string(REGEX MATCHALL ".." bytes "${hex}")
list(JOIN bytes " " spaced)
string(REGEX MATCHALL "0d 0a" crlf "${spaced}")
set(lf ${bytes})
list(FILTER lf INCLUDE REGEX "^0a$")
list(LENGTH crlf crlf_count)
list(LENGTH lf lf_count)
if(NOT crlf_count EQUAL 3 OR NOT lf_count EQUAL 3)
  message(FATAL_ERROR "expected 3 lines ended by CR LF in ${log}: ${crlf_count} CR LF, ${lf_count} LF")
endif()
file(READ "${log}" content)
string(REPLACE "\r" "" content "${content}")
if(NOT content MATCHES "^[^ ]+ [0-9]+ [0-9][0-9][0-9][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9], saving the file, 70, Permission denied, Tamberlin, 0\n")
  message(FATAL_ERROR "unexpected first log line:\n${content}")
endif()
string(FIND "${content}" ", opening the project, 53, No such project, Tamberlin, 2\n" at)
if(at EQUAL -1)
  message(FATAL_ERROR "the second entry is missing:\n${content}")
endif()
