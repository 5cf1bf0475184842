# The FLTK host against a real X server: the test executable runs under
# xvfb-run as one CTest entry (one server for all its cases).
tamberlin_add_executable(host_fltk_tests platform/host_fltk_test.cpp)
target_link_libraries(host_fltk_tests PRIVATE tamberlin_test_support ${FLTK_LIBRARIES})
target_include_directories(host_fltk_tests SYSTEM PRIVATE ${FLTK_INCLUDE_DIR})
add_test(NAME host_fltk
  COMMAND xvfb-run -a -s "-screen 0 1024x768x24" $<TARGET_FILE:host_fltk_tests>)
set_tests_properties(host_fltk PROPERTIES TIMEOUT 120)

# The GIF decoder the host shows pictures with.
target_sources(unit_tests PRIVATE unit/gif_test.cpp)
