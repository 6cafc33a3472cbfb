# present.cmake — speed of putting a frame on the screen (run the Release build):
#   present_bench   our 8-bit to 32-bit conversion against SDL's own blit and memcpy;
#   present_timing  one present of the window and a present-only loop, on the current
#                   display. bench/present_xvfb.py measures the whole program's windowed frames
#                   against the X server (see bench/README.md).
add_executable(present_bench ${PROJECT_SOURCE_DIR}/bench/present_bench.cpp)
target_link_libraries(present_bench PRIVATE torvex_core PkgConfig::SDL2 benchmark::benchmark)

add_executable(present_timing ${PROJECT_SOURCE_DIR}/bench/present_timing.cpp)
target_link_libraries(present_timing PRIVATE torvex_framework)
target_link_libraries(present_bench PRIVATE $<BUILD_INTERFACE:torvex_version>)
target_link_libraries(present_timing PRIVATE $<BUILD_INTERFACE:torvex_version>)
