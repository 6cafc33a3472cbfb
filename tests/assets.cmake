# assets.cmake — tests of the font and sprite loaders, the asset tool and our data files
# (where the tools are built).
if(NOT TARGET torvex_asset_tool)
  return()
endif()
torvex_double_test(assets_test ${CMAKE_CURRENT_LIST_DIR}/assets_test.cpp)
target_compile_definitions(assets_test PRIVATE
  TORVEX_FUZZ_REGRESSIONS="${CMAKE_CURRENT_LIST_DIR}/fuzz/regressions")

torvex_double_test(asset_tool_test ${CMAKE_CURRENT_LIST_DIR}/asset_tool_test.cpp)
target_link_libraries(asset_tool_test PRIVATE torvex_asset_tool)
target_compile_definitions(asset_tool_test PRIVATE
  TORVEX_FONT_FILE="${TORVEX_FONT_FILE}" TORVEX_SPRITE_FILE="${TORVEX_SPRITE_FILE}"
  TORVEX_DATA_DIR="${TORVEX_DATA_SOURCE_DIR}")
add_dependencies(asset_tool_test torvex_data)
