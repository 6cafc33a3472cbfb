# icon.cmake — the desktop icons made by torvex-icon-png at every size; and the Windows
# build's icon and cursor files, read back against their pictures by the build machine's
# torvex-win-resources.
if(TARGET torvex-icon-png)
  add_executable(icon_test ${CMAKE_CURRENT_LIST_DIR}/icon_test.cpp)
  target_link_libraries(icon_test PRIVATE PNG::PNG GTest::gtest GTest::gtest_main)
  target_compile_definitions(icon_test PRIVATE TORVEX_ICON_PNG="$<TARGET_FILE:torvex-icon-png>"
    TORVEX_ICON_SOURCE="${PROJECT_SOURCE_DIR}/data/AppIcon.art")
  add_dependencies(icon_test torvex-icon-png)
  torvex_gtest(icon_test PROPERTIES ENVIRONMENT ASAN_OPTIONS=detect_leaks=0)
endif()

add_test(NAME ${TORVEX_PLATFORM}.win_resources
         COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/tests/win_resources_test.py)
set_tests_properties(${TORVEX_PLATFORM}.win_resources PROPERTIES
  ENVIRONMENT "TORVEX_WIN_RESOURCES=$<TARGET_FILE:torvex-win-resources>")
