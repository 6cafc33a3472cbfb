# app.cmake — the benchmark program torvex32 and its headless runner torvex32-bench.
add_executable(torvex32 ${CMAKE_CURRENT_LIST_DIR}/runner/program.cpp)
target_link_libraries(torvex32 PRIVATE torvex_entry torvex_app_set)

add_executable(torvex32-bench ${CMAKE_CURRENT_LIST_DIR}/runner/main.cpp)
target_include_directories(torvex32-bench PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(torvex32-bench PRIVATE torvex_app_set torvex_asset_tool)
