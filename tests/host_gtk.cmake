# The GTK host as a screen reader drives it: tamberlin-demo's dialog, message
# boxes, report question and main window found and operated through the accessibility tree, on
# an X server of its own inside a D-Bus session of its own.
if(TARGET tamberlin_gtk)
  add_test(NAME demo_gtk_accessible
    COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/xvfb.sh dbus-run-session --
            /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/gtk_atspi.py
            $<TARGET_FILE:tamberlin-demo> ${CMAKE_CURRENT_BINARY_DIR}/demo-gtk)
  # A leak is matched to its caller through GLib, built without frame
  # pointers, only by the slow unwinder (see tests/lsan.supp); six frames
  # (malloc, g_malloc, the caller and a few more) keep it fast enough.
  set_tests_properties(demo_gtk_accessible PROPERTIES TIMEOUT 300
    ENVIRONMENT_MODIFICATION
    "ASAN_OPTIONS=string_append::fast_unwind_on_malloc=0:malloc_context_size=6")
endif()
