# assets.cmake — the asset tool torvex-assets: the library behind it (tests link it too) and
# the program, built next to the benchmark.
set(TORVEX_TOOLS_DIR ${CMAKE_CURRENT_LIST_DIR})
add_library(torvex_asset_tool STATIC
  ${TORVEX_TOOLS_DIR}/asset_codec.cpp ${TORVEX_TOOLS_DIR}/asset_render.cpp
  ${TORVEX_TOOLS_DIR}/asset_sources.cpp ${TORVEX_TOOLS_DIR}/asset_tool.cpp)
target_include_directories(torvex_asset_tool PUBLIC ${TORVEX_TOOLS_DIR}/..)
# The loaders and the banner come from the program's own libraries, so the tool reads files
# exactly as the benchmark does; its pictures and outputs go through the shared PNG writer,
# libpng's (required here: the tools' pictures are compressed).
find_package(PNG REQUIRED)
target_link_libraries(torvex_asset_tool PUBLIC torvex_app torvex_core torvex_png)

add_executable(torvex-assets ${TORVEX_TOOLS_DIR}/assets_main.cpp)
target_link_libraries(torvex-assets PRIVATE torvex_asset_tool)
