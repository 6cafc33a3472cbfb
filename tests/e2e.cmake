# e2e.cmake — end-to-end tests: a small application on the real framework, driven under its
# own X server (Xvfb) and window manager (openbox) by tests/e2e/harness.py.

add_executable(frame_testapp ${CMAKE_CURRENT_LIST_DIR}/e2e/testapp.cpp)
target_link_libraries(frame_testapp PRIVATE torvex_entry torvex_framework)
set_target_properties(frame_testapp PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests)

# One CTest test per test method of an e2e test file (a unittest module), each with its own X
# server; they run one at a time, since pointer, focus and timing suffer on a loaded machine.
#   torvex_e2e_tests(tests/e2e/test_x.py [ENVIRONMENT NAME=value...])
find_package(Python3 REQUIRED COMPONENTS Interpreter)
function(torvex_e2e_tests file)
  cmake_parse_arguments(E2E "" "" "ENVIRONMENT" ${ARGN})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${file})
  get_filename_component(module ${file} NAME_WE)
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
      ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0;${E2E_ENVIRONMENT}")
  endforeach()
endfunction()

torvex_e2e_tests(tests/e2e/test_frame.py ENVIRONMENT "TESTAPP=$<TARGET_FILE:frame_testapp>")
