# compare.cmake — torvex-compare: results of torvex32-bench side by side, and their chart drawn
# with the program's own font (found beside the tool, as the program finds its data).
add_executable(torvex-compare ${CMAKE_CURRENT_LIST_DIR}/compare.cpp)
target_link_libraries(torvex-compare PRIVATE torvex_asset_tool)
install(TARGETS torvex-compare RUNTIME DESTINATION ${TORVEX_INSTALL_DIR})
install(CODE "
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(CREATE_LINK \"../${TORVEX_INSTALL_DIR}/torvex-compare\"
       \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/torvex-compare\" SYMBOLIC)")
