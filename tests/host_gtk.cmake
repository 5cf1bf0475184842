# The GTK host as a screen reader drives it: tamberlin-demo's dialog, message
# boxes and main window found and operated through the accessibility tree, on
# an X server of its own inside a D-Bus session of its own.
if(TARGET tamberlin_gtk)
  add_test(NAME demo_gtk_accessible
    COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/xvfb.sh dbus-run-session --
            /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/gtk_atspi.py
            $<TARGET_FILE:tamberlin-demo> ${CMAKE_CURRENT_BINARY_DIR}/demo-gtk)
  set_tests_properties(demo_gtk_accessible PROPERTIES TIMEOUT 180)
endif()
