# icon.cmake — the desktop icons made by torvex-icon-png at every size.
add_executable(icon_test ${CMAKE_CURRENT_LIST_DIR}/icon_test.cpp)
target_link_libraries(icon_test PRIVATE PNG::PNG GTest::gtest GTest::gtest_main)
target_compile_definitions(icon_test PRIVATE TORVEX_ICON_PNG="$<TARGET_FILE:torvex-icon-png>"
  TORVEX_ICON_SOURCE="${PROJECT_SOURCE_DIR}/data/AppIcon.art")
add_dependencies(icon_test torvex-icon-png)
set_target_properties(icon_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests)
gtest_discover_tests(icon_test DISCOVERY_TIMEOUT 60
  PROPERTIES TIMEOUT 120 ENVIRONMENT ASAN_OPTIONS=detect_leaks=0)
