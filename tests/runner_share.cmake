# runner_share.cmake — the runner's results in the forms users share them (runs until stable,
# the desktop in the environment, x11perf's and the suite's lines, the per-frame log): its parts
# on the recording double, and end to end with the real runner, x11perfcomp and the suite's
# profile.
add_executable(runner_share_test tests/runner_share_test.cpp)
target_link_libraries(runner_share_test PRIVATE torvex_runner_double GTest::gtest GTest::gtest_main)
torvex_gtest(runner_share_test)

if(TARGET torvex-compare)
  torvex_e2e_tests(tests/e2e/test_share.py ENVIRONMENT
    "TORVEX32_BENCH=$<TARGET_FILE:torvex32-bench>"
    "TORVEX_SUITE_PROFILE=$<TARGET_FILE_DIR:torvex32-bench>/suite-profile/torvex32")
endif()
