# frame.cmake — the application frame on the recording double, and the platform's own parts
# (profile files, clocks, pixel conversion, the SDL backend on its headless drivers).
torvex_double_test(frame_test tests/frame_test.cpp)

# On SDL's dummy drivers; SDL's own allocations are no leaks of ours.
add_executable(platform_test tests/platform_test.cpp)
target_link_libraries(platform_test PRIVATE torvex_framework GTest::gtest GTest::gtest_main)
set_target_properties(platform_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
gtest_discover_tests(platform_test PROPERTIES TIMEOUT 300 DISCOVERY_TIMEOUT 60
  ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0;SDL_VIDEODRIVER=dummy;SDL_AUDIODRIVER=dummy")
