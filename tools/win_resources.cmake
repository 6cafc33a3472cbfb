# win_resources.cmake — torvex-win-resources: the program's icon and cursor, made from
# data/*.art on the build machine: the Windows build's icon and cursor files
# (scripts/build-windows.sh runs it from here) and the SDL backend's table. torvex-icon-png
# reads the pictures with the same reader.
add_library(torvex_art STATIC ${CMAKE_CURRENT_LIST_DIR}/art.cpp)
target_include_directories(torvex_art PUBLIC ${PROJECT_SOURCE_DIR})

add_executable(torvex-win-resources ${CMAKE_CURRENT_LIST_DIR}/win_resources.cpp)
target_link_libraries(torvex-win-resources PRIVATE torvex_art torvex_core
  $<BUILD_INTERFACE:torvex_version>)
