# The demo's main window through the terminal, as a user at a console drives
# it: each action's dialog, what the trap did, and what reached the log.
#   cmake -DDEMO=... -DWORK=... [-DEMULATOR=...] -P demo_terminal.cmake
include(${CMAKE_CURRENT_LIST_DIR}/demo_driver.cmake)
demo_error_log_path(log)

# One line a prompt: the main menu's choice, then the answers its dialogs ask.
set(input
  "1\nretry\n"      # 53: double-click on the message, the retry goes through
  "2\nr\nretry\n"   # 70: Retry in the question, then in the dialog
  "3\nok\n"         # 11: OK
  "6\nc\n"          # 71: only the disk question, Cancel
  "5\nc\nok\n"      # 482: Cancel in the printer question, then OK
  "7\nok\n"         # a second error while the dialog is open
  "4\nr\nok\n"      # 3000: Retry in the database question, then OK
  "8\nok\n"         # a negative number
  "q\n")
string(CONCAT input ${input})
run_demo("${input}")

expect("=== Tamberlin ===\nTitle: Tamberlin\n")
expect("  1) Open a missing file\n")
expect("  q) Exit\n")
expect("File not found opening the project file.")
expect("Open a missing file: retried, and the second attempt went through.")
expect("--- Tamberlin ---\nFile already in use. Close the file and retry the operation.\n")
expect("Write a read-only file: retried, and the second attempt went through.")
expect("A mathematical error has occurred working out the average.")
expect("Divide by zero: continued after the failing statement.")
expect("--- Tamberlin ---\nDisk not ready. Put a disk in the drive or close the drive door, and retry the operation.")
expect("Disk not ready: continued after the failing statement.")
expect("The error:  Printer error\n\noccurred while printing the report. Please check your printer and try again.")
expect("Printer error: continued after the failing statement.")
expect("  A second error while the dialog was open: the handler answered 5 without a second dialog.")
expect("--- Tamberlin database error ---")
expect("Database error: continued after the failing statement.")
expect("Error number: -2147467259\nDescription: Automation error\n")
expect("Negative error number: continued after the failing statement.")

# 53, 70, 11, 482 twice, 53 (the nested error is not logged), 3000 twice,
# the negative number: nine entries.
file(READ "${log}" content)
string(REGEX MATCHALL "\n" lines "${content}")
list(LENGTH lines count)
if(NOT count EQUAL 9)
  message(FATAL_ERROR "expected 9 log entries in ${log}, found ${count}:\n${content}")
endif()
foreach(entry ", opening the project file, 53, " ", saving the settings, 70, "
              ", working out the average, 11, "
              ", printing the report, 482, " ", loading the project table, 3000, "
              ", starting the spell checker, -2147467259, Automation error, ")
  string(FIND "${content}" "${entry}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "no entry with \"${entry}\" in:\n${content}")
  endif()
endforeach()
