# sound.cmake — tests of the sound players: on the recording double (the order of device
# commands and file operations), and on the real media device with SDL's disk audio driver,
# which records what would be heard.
torvex_double_test(sound_test ${PROJECT_SOURCE_DIR}/tests/sound_test.cpp)

# The SDL backend's real device, built from its sources with a stand-in for the window's
# message queue, so that the notices can be watched as they arrive.
if(NOT TORVEX_PLATFORM STREQUAL "sdl")
  return()
endif()
add_executable(sound_device_test
  tests/sound_device_test.cpp sound/players.cpp
  platform/sdl/media.cpp platform/sdl/media_midi.cpp platform/sdl/files.cpp
  platform/sdl/tempnotes.cpp)
target_include_directories(sound_device_test PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(sound_device_test PRIVATE
  TORVEX_DATA_DIR="${TORVEX_OUT}" TORVEX_TEST_DIR="${PROJECT_BINARY_DIR}/tests")
target_link_libraries(sound_device_test PRIVATE torvex_szdd PkgConfig::SDL2 PkgConfig::SDL2_MIXER
  PkgConfig::MSPACK GTest::gtest GTest::gtest_main)
add_dependencies(sound_device_test torvex_sound_data)
torvex_gtest(sound_device_test PROPERTIES ENVIRONMENT ASAN_OPTIONS=detect_leaks=0)

# The same loop through the whole framework: the frame's window procedure, the platform's
# message queue and the media device.
add_executable(sound_loop_test tests/sound_loop_test.cpp)
target_link_libraries(sound_loop_test PRIVATE torvex_framework GTest::gtest GTest::gtest_main)
# It measures the gap between passes in real time: it runs alone, not beside another test that
# takes the other core (on a two-core machine a replay came 115 to 300 ms late).
torvex_gtest(sound_loop_test PROPERTIES ENVIRONMENT ASAN_OPTIONS=detect_leaks=0 RUN_SERIAL TRUE)
