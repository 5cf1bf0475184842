# The GIF decoder the FLTK host shows pictures with.
target_sources(unit_tests PRIVATE unit/gif_test.cpp)
