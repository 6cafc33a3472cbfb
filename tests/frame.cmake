# frame.cmake — the application frame on the recording double, and the platform's own parts
# (profile files, clocks, pixel conversion, the SDL backend on its headless drivers).
torvex_double_test(frame_test tests/frame_test.cpp)

# On SDL's dummy drivers, which the test chooses itself.
torvex_sdl_test(platform_test tests/platform_test.cpp)
if(TARGET platform_test)  # the SDL backend's
  target_compile_definitions(platform_test PRIVATE
    TORVEX_PROFILE_CORPUS="${PROJECT_SOURCE_DIR}/tests/data/profiles")
endif()
