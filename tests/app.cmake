# app.cmake — the benchmark's hooks on the recording double, with a driven clock.
add_executable(app_test tests/app_test.cpp)
target_link_libraries(app_test PRIVATE
  "$<LINK_GROUP:RESCAN,torvex_app,torvex_core,torvex_platform_double>"
  GTest::gtest GTest::gtest_main)
set_target_properties(app_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
gtest_discover_tests(app_test PROPERTIES TIMEOUT 120 DISCOVERY_TIMEOUT 60)

# The installed layout works: the runner, started through its link in bin, finds its data files
# in lib/torvex32 and runs the benchmark.
add_test(NAME install.runner_runs_from_its_install_location
  COMMAND sh -c "rm -rf install-check && \"${CMAKE_COMMAND}\" --install . --prefix install-check >/dev/null && install-check/bin/torvex32-bench --frames 30 && test -f install-check/share/applications/torvex32.desktop && test -f install-check/share/icons/hicolor/32x32/apps/torvex32.png"
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
set_tests_properties(install.runner_runs_from_its_install_location PROPERTIES
  TIMEOUT 120 ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0" PASS_REGULAR_EXPRESSION "Wait a Minute !!")
