# app.cmake — the benchmark's hooks on the recording double, with a driven clock.
add_executable(app_test tests/app_test.cpp)
target_link_libraries(app_test PRIVATE
  "$<LINK_GROUP:RESCAN,torvex_app,torvex_core,torvex_platform_double>"
  GTest::gtest GTest::gtest_main)
set_target_properties(app_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
gtest_discover_tests(app_test PROPERTIES TIMEOUT 120 DISCOVERY_TIMEOUT 60)
