# compare.cmake — torvex-compare: results of torvex32-bench side by side, and their chart drawn
# with the program's own font (found beside the tool, or else in the installed data directory,
# as the program finds its data).
add_executable(torvex-compare ${CMAKE_CURRENT_LIST_DIR}/compare.cpp)
include(${PROJECT_SOURCE_DIR}/cmake/json.cmake)
target_link_libraries(torvex-compare PRIVATE torvex_asset_tool torvex_json)
