# frame.cmake — the application frame on the recording double, and the platform's own parts
# (profile files, clocks, pixel conversion; the SDL backend on its headless drivers, the Win32
# backend's parts that need no window).
torvex_double_test(frame_test tests/frame_test.cpp)

# On SDL's dummy drivers, which the test chooses itself.
torvex_sdl_test(platform_test tests/platform_test.cpp)
if(TARGET platform_test)  # the SDL backend's
  target_compile_definitions(platform_test PRIVATE
    TORVEX_PROFILE_CORPUS="${PROJECT_SOURCE_DIR}/tests/data/profiles")
endif()

torvex_backend_test(win32 win32_platform_test tests/win32_platform_test.cpp)
if(TARGET win32_platform_test)
  target_compile_definitions(win32_platform_test PRIVATE
    TORVEX_DATA_DIR="${TORVEX_OUT}" TORVEX_TEST_DIR="${PROJECT_BINARY_DIR}/tests"
    # The same corpus the Linux reader is tested on, as Wine sees the host's files.
    TORVEX_PROFILE_CORPUS="Z:${PROJECT_SOURCE_DIR}/tests/data/profiles")
  add_dependencies(win32_platform_test torvex_sound_data)
endif()
