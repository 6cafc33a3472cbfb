# Tests of the palette, the frame buffer and the graphics engine, on the recording double.
torvex_double_test(palette_test ${PROJECT_SOURCE_DIR}/tests/palette_test.cpp)
torvex_double_test(graphics_test ${PROJECT_SOURCE_DIR}/tests/graphics_test.cpp)
