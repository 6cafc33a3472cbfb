# runner.cmake — the measurement runner and the comparison: the runner's parts on the recording
# double, and its command lines, signals, result files and charts as a user runs them.
add_executable(runner_test tests/runner_test.cpp)
torvex_link_set(torvex_runner_double BACKEND torvex_platform_double HOOKS torvex_runner torvex_app)
target_link_libraries(runner_test PRIVATE torvex_runner_double GTest::gtest GTest::gtest_main)
torvex_gtest(runner_test)

# The tools' command lines as a user runs them: where the tools are built.
if(TARGET torvex-compare)
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
