# win_resources.cmake — torvex-win-resources: the icon and cursor files of the Windows build,
# made from data/*.art on the build machine (scripts/build-windows.sh runs it from here).
add_executable(torvex-win-resources ${CMAKE_CURRENT_LIST_DIR}/win_resources.cpp)
target_link_libraries(torvex-win-resources PRIVATE $<BUILD_INTERFACE:torvex_version>)
