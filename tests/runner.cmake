# runner.cmake — the measurement runner and the comparison: the runner's parts on the recording
# double, and its command lines, signals, result files and charts as a user runs them.
add_executable(runner_test tests/runner_test.cpp)
target_link_libraries(runner_test PRIVATE
  "$<LINK_GROUP:RESCAN,torvex_runner,torvex_app,torvex_core,torvex_platform_double>"
  GTest::gtest GTest::gtest_main)
set_target_properties(runner_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests)
gtest_discover_tests(runner_test PROPERTIES TIMEOUT 120 DISCOVERY_TIMEOUT 60)

if(COMMAND torvex_e2e_tests)
  torvex_e2e_tests(tests/e2e/test_runner.py ENVIRONMENT
    "SOURCE_DIR=${PROJECT_SOURCE_DIR}"
    "TORVEX32=$<TARGET_FILE:torvex32>"
    "TORVEX32_BENCH=$<TARGET_FILE:torvex32-bench>"
    "TORVEX_COMPARE=$<TARGET_FILE:torvex-compare>"
    "TORVEX_ASSETS=$<TARGET_FILE:torvex-assets>"
    "TORVEX_MAKE_MIDI=$<TARGET_FILE:torvex-make-midi>"
    "TORVEX_MAKE_EFFECT=$<TARGET_FILE:torvex-make-effect>"
    "TORVEX_ICON_PNG=$<TARGET_FILE:torvex-icon-png>"
    "TORVEX_WIN_RESOURCES=$<TARGET_FILE:torvex-win-resources>")
  torvex_e2e_tests(tests/e2e/test_runner_stops.py ENVIRONMENT
    "TORVEX32_BENCH=$<TARGET_FILE:torvex32-bench>")
endif()
