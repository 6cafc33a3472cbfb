# icon.cmake — the desktop entry's icon: data/AppIcon.art, the window's own icon, as a PNG.
add_executable(torvex-icon-png ${CMAKE_CURRENT_LIST_DIR}/icon_png.cpp)
target_link_libraries(torvex-icon-png PRIVATE torvex_asset_tool)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/generated/torvex32.png
  COMMAND torvex-icon-png ${CMAKE_SOURCE_DIR}/data/AppIcon.art
          ${CMAKE_BINARY_DIR}/generated/torvex32.png
  DEPENDS torvex-icon-png ${CMAKE_SOURCE_DIR}/data/AppIcon.art
  COMMENT "Making the desktop icon"
  VERBATIM)
add_custom_target(torvex_icon ALL DEPENDS ${CMAKE_BINARY_DIR}/generated/torvex32.png)
install(FILES ${CMAKE_BINARY_DIR}/generated/torvex32.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps)
