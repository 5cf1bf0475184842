# The FLTK host against a real X server: the test executable runs on an X
# server of its own (tests/xvfb.sh) as one CTest entry (one server for all its
# cases).
tamberlin_add_executable(host_fltk_tests platform/host_fltk_test.cpp)
target_link_libraries(host_fltk_tests PRIVATE tamberlin_test_support ${FLTK_LIBRARIES})
target_include_directories(host_fltk_tests SYSTEM PRIVATE ${FLTK_INCLUDE_DIR})
add_test(NAME host_fltk
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/xvfb.sh $<TARGET_FILE:host_fltk_tests>)
set_tests_properties(host_fltk PROPERTIES TIMEOUT 120)

# The GIF decoder the host shows pictures with.
target_sources(unit_tests PRIVATE unit/gif_test.cpp)

# The demo's main window through the FLTK host, driven with the mouse and the
# keyboard (xdotool) on its own X server; the script bounds every wait.
add_test(NAME demo_main_window_fltk
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/xvfb.sh
          sh ${CMAKE_CURRENT_SOURCE_DIR}/e2e/demo_fltk.sh $<TARGET_FILE:tamberlin-demo>
          ${CMAKE_CURRENT_BINARY_DIR}/demo-fltk)
set_tests_properties(demo_main_window_fltk PROPERTIES TIMEOUT 120)
