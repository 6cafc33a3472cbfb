# assets.cmake — tests of the font and sprite loaders, the asset tool and our data files
# (where the tools are built).
if(NOT TARGET torvex_asset_tool)
  return()
endif()
torvex_double_test(assets_test ${CMAKE_CURRENT_LIST_DIR}/assets_test.cpp)
target_link_libraries(assets_test PRIVATE torvex_asset_tool)
target_include_directories(assets_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
target_compile_definitions(assets_test PRIVATE
  TORVEX_FONT_FILE="${TORVEX_FONT_FILE}" TORVEX_SPRITE_FILE="${TORVEX_SPRITE_FILE}"
  TORVEX_DATA_DIR="${TORVEX_DATA_SOURCE_DIR}"
  TORVEX_FUZZ_REGRESSIONS="${CMAKE_CURRENT_LIST_DIR}/fuzz/regressions")
add_dependencies(assets_test torvex_data)
