# compare.cmake — torvex-compare: results of torvex32-bench side by side, and their chart drawn
# with the program's own font (found beside the tool, as the program finds its data).
add_executable(torvex-compare ${CMAKE_CURRENT_LIST_DIR}/compare.cpp)
target_link_libraries(torvex-compare PRIVATE torvex_asset_tool)
install(TARGETS torvex-compare RUNTIME DESTINATION ${TORVEX_INSTALL_DIR})
