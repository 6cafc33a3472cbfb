# e2e_benchmark.cmake — the benchmark program end to end, against headless frames of the runner.
if(COMMAND torvex_e2e_tests)
  torvex_e2e_tests(tests/e2e/test_benchmark.py ENVIRONMENT
    "TORVEX32=$<TARGET_FILE:torvex32>"
    "TORVEX32_BENCH=$<TARGET_FILE:torvex32-bench>"
    "TORVEX_ASSETS=$<TARGET_FILE:torvex-assets>")
endif()
if(COMMAND torvex_e2e_tests)
  # The same on a palettised (depth 8) and a 16-bit X server.
  torvex_e2e_tests(tests/e2e/test_depths.py ENVIRONMENT
    "TORVEX32=$<TARGET_FILE:torvex32>"
    "TORVEX32_BENCH=$<TARGET_FILE:torvex32-bench>"
    "TORVEX_ASSETS=$<TARGET_FILE:torvex-assets>")
endif()
