# icon.cmake — the desktop entry's icons: data/AppIcon.art, the window's own icon, as PNGs at
# the sizes desktops ask for (TORVEX_ICON_SIZES), all drawn from that one picture.
add_executable(torvex-icon-png ${CMAKE_CURRENT_LIST_DIR}/icon_png.cpp)
target_link_libraries(torvex-icon-png PRIVATE torvex_art torvex_png)
set(TORVEX_ICON_SIZES 32 48 64 128)
set(TORVEX_ICON_FILES "")
foreach(size ${TORVEX_ICON_SIZES})
  set(icon ${PROJECT_BINARY_DIR}/generated/icons/${size}x${size}/torvex32.png)
  add_custom_command(
    OUTPUT ${icon}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/generated/icons/${size}x${size}
    COMMAND torvex-icon-png ${PROJECT_SOURCE_DIR}/data/AppIcon.art ${icon} ${size}
    DEPENDS torvex-icon-png ${PROJECT_SOURCE_DIR}/data/AppIcon.art
    COMMENT "Making the ${size} px desktop icon"
    VERBATIM)
  list(APPEND TORVEX_ICON_FILES ${icon})
endforeach()
add_custom_target(torvex_icon ALL DEPENDS ${TORVEX_ICON_FILES})
