# Benchmark of frame composition against a memcpy of the FrameBuffer (run the Release build).
# It needs some platform for the FrameBuffer and the Playfield block: the recording double
# when tests are built, otherwise the SDL backend.
add_executable(compose_bench ${PROJECT_SOURCE_DIR}/bench/compose_bench.cpp)
if(TARGET torvex_platform_double)
  target_link_libraries(compose_bench PRIVATE torvex_framework_double benchmark::benchmark)
else()
  target_link_libraries(compose_bench PRIVATE torvex_framework benchmark::benchmark)
endif()
target_link_libraries(compose_bench PRIVATE $<BUILD_INTERFACE:torvex_version>)
