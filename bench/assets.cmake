# assets.cmake — benchmark of the font and sprite loaders on our data files, packed and plain
# (run the Release build).
add_executable(assets_bench ${CMAKE_CURRENT_LIST_DIR}/assets_bench.cpp)
target_link_libraries(assets_bench PRIVATE torvex_asset_tool benchmark::benchmark)
target_compile_definitions(assets_bench PRIVATE
  TORVEX_FONT_FILE="${TORVEX_FONT_FILE}" TORVEX_SPRITE_FILE="${TORVEX_SPRITE_FILE}")
add_dependencies(assets_bench torvex_data)
target_link_libraries(assets_bench PRIVATE $<BUILD_INTERFACE:torvex_version>)
