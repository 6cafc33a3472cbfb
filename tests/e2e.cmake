# e2e.cmake — end-to-end tests: programs on the real framework, driven under their own X
# server (Xvfb) and window manager (openbox) by tests/e2e/harness.py. A cross build runs them
# through its emulator (Wine), which the harness puts before the programs.

# One CTest test per test method of an e2e test file (a unittest module), each with its own X
# server; they run one at a time, since pointer, focus and timing suffer on a loaded machine.
#   torvex_e2e_tests(tests/e2e/test_x.py [ENVIRONMENT NAME=value...])
function(torvex_e2e_tests file)
  cmake_parse_arguments(E2E "" "" "ENVIRONMENT" ${ARGN})
  if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    return()
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${file})
  get_filename_component(module ${file} NAME_WE)
  if(TORVEX_E2E_MODULE)
    set(module ${TORVEX_E2E_MODULE})
  endif()
  set(environment "ASAN_OPTIONS=detect_leaks=0" ${E2E_ENVIRONMENT} ${TORVEX_E2E_LAUNCH})
  # The file's first test class (a unittest.TestCase, or a class derived from one of them).
  file(STRINGS ${PROJECT_SOURCE_DIR}/${file} classes REGEX "^class [A-Za-z0-9_]+\\([A-Za-z0-9_.]*Test")
  file(STRINGS ${PROJECT_SOURCE_DIR}/${file} methods REGEX "^    def test_")
  list(GET classes 0 class)
  string(REGEX REPLACE "^class ([A-Za-z0-9_]+).*" "\\1" class "${class}")
  foreach(method ${methods})
    string(REGEX REPLACE "^    def (test_[A-Za-z0-9_]+).*" "\\1" method "${method}")
    add_test(NAME e2e.${module}.${method}
             COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/${file} ${class}.${method})
    set_tests_properties(e2e.${module}.${method} PROPERTIES
      TIMEOUT 300 RUN_SERIAL TRUE LABELS e2e
      ENVIRONMENT "${environment}")
  endforeach()
endfunction()
if(CMAKE_CROSSCOMPILING)
  # The module's name is the emulator's, and the environment names it as the launcher.
  # Wine's profile file is in the Windows directory of its prefix (WINEPREFIX, as the tests
  # will run with it).
  if(DEFINED ENV{WINEPREFIX})
    set(TORVEX_WINE_PREFIX $ENV{WINEPREFIX})
  else()
    set(TORVEX_WINE_PREFIX $ENV{HOME}/.wine)
  endif()
  set(TORVEX_E2E_MODULE wine)
  set(TORVEX_E2E_LAUNCH "TORVEX_LAUNCHER=${CMAKE_CROSSCOMPILING_EMULATOR};TORVEX_PROFILE_FILE=${TORVEX_WINE_PREFIX}/drive_c/windows/TORVEX32.INI")
endif()

# A small application on the framework, with the frame's behaviour as a user sees it.
if(NOT CMAKE_CROSSCOMPILING)
  add_executable(frame_testapp ${CMAKE_CURRENT_LIST_DIR}/e2e/testapp.cpp)
  target_link_libraries(frame_testapp PRIVATE torvex_entry torvex_framework)
  torvex_e2e_tests(tests/e2e/test_frame.py ENVIRONMENT "TESTAPP=$<TARGET_FILE:frame_testapp>")
endif()
