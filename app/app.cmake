# app.cmake — the benchmark program torvex32 and its headless runner torvex32-bench.
# torvex32 has its own main(): the benchmark answers its command line itself. A windowed
# program where the system tells windowed programs from console ones.
add_executable(torvex32 WIN32 ${CMAKE_CURRENT_LIST_DIR}/program/program.cpp)
target_link_libraries(torvex32 PRIVATE torvex_app_set)

# The runner's parts apart from main(), so that tests can link them.
add_library(torvex_runner STATIC ${CMAKE_CURRENT_LIST_DIR}/runner/options.cpp
  ${CMAKE_CURRENT_LIST_DIR}/runner/result.cpp ${CMAKE_CURRENT_LIST_DIR}/runner/run.cpp
  ${CMAKE_CURRENT_LIST_DIR}/runner/stable.cpp ${CMAKE_CURRENT_LIST_DIR}/runner/environment.cpp
  ${CMAKE_CURRENT_LIST_DIR}/runner/framelog.cpp ${CMAKE_CURRENT_LIST_DIR}/runner/formats.cpp
  ${CMAKE_CURRENT_LIST_DIR}/runner/suite.cpp)
target_include_directories(torvex_runner PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_definitions(torvex_runner PRIVATE TORVEX_BUILD_TYPE="${CMAKE_BUILD_TYPE}"
  TORVEX_DATA_FROM_PROGRAM="${TORVEX_DATA_FROM_PROGRAM}")
include(${PROJECT_SOURCE_DIR}/cmake/json.cmake)
target_link_libraries(torvex_runner PUBLIC torvex_core torvex_version torvex_json)

# A console program on the same backend; its screenshots go through the shared PNG writer.
add_executable(torvex32-bench ${CMAKE_CURRENT_LIST_DIR}/runner/main.cpp)
torvex_link_set(torvex_runner_set BACKEND ${TORVEX_BACKEND} HOOKS torvex_runner torvex_app)
target_link_libraries(torvex32-bench PRIVATE torvex_runner_set torvex_png)
