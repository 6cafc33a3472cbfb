# pngfile.cmake — the PNG writer the runner and the tools share: libpng's where the build has
# it, else the stored writer (the Windows build).
find_package(PNG QUIET)
if(TARGET PNG::PNG)
  add_library(torvex_png STATIC ${CMAKE_CURRENT_LIST_DIR}/pictures.cpp
    ${CMAKE_CURRENT_LIST_DIR}/libpng.cpp ${CMAKE_CURRENT_LIST_DIR}/staged_file.cpp
    ${CMAKE_CURRENT_LIST_DIR}/inplace_file.cpp)
  target_link_libraries(torvex_png PUBLIC torvex_core PRIVATE PNG::PNG)
else()
  add_library(torvex_png STATIC ${CMAKE_CURRENT_LIST_DIR}/pictures.cpp
    ${CMAKE_CURRENT_LIST_DIR}/stored.cpp ${CMAKE_CURRENT_LIST_DIR}/inplace_file.cpp)
  target_link_libraries(torvex_png PUBLIC torvex_core)
endif()
