# e2e_wayland.cmake — the program end to end under a Wayland compositor (sway, headless), with
# a pointer and a keyboard of our own (tests/e2e/wayland_input.c) on the compositor's seat.
# Wayland is the SDL backend's (its wayland-scanner and pkg-config are found there).
if(NOT TORVEX_PLATFORM STREQUAL "sdl")
  return()
endif()
pkg_check_modules(XKBCOMMON REQUIRED IMPORTED_TARGET xkbcommon)
set(wayland_input_generated ${PROJECT_BINARY_DIR}/tests/wayland)
set(wayland_input_sources ${CMAKE_CURRENT_LIST_DIR}/e2e/wayland_input.c)
foreach(name wlr-virtual-pointer-unstable-v1 virtual-keyboard-unstable-v1)
  set(xml ${CMAKE_CURRENT_LIST_DIR}/e2e/protocols/${name}.xml)
  add_custom_command(
    OUTPUT ${wayland_input_generated}/${name}-client-protocol.h
           ${wayland_input_generated}/${name}-protocol.c
    COMMAND ${CMAKE_COMMAND} -E make_directory ${wayland_input_generated}
    COMMAND ${WAYLAND_SCANNER} client-header ${xml} ${wayland_input_generated}/${name}-client-protocol.h
    COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${wayland_input_generated}/${name}-protocol.c
    DEPENDS ${xml} VERBATIM)
  list(APPEND wayland_input_sources ${wayland_input_generated}/${name}-protocol.c
       ${wayland_input_generated}/${name}-client-protocol.h)
endforeach()
add_executable(wayland_input ${wayland_input_sources})
target_include_directories(wayland_input PRIVATE ${wayland_input_generated})
target_link_libraries(wayland_input PRIVATE PkgConfig::WAYLAND_CLIENT PkgConfig::XKBCOMMON)
set_target_properties(wayland_input PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests)

if(COMMAND torvex_e2e_tests)
  torvex_e2e_tests(tests/e2e/test_wayland.py ENVIRONMENT
    "TORVEX32=$<TARGET_FILE:torvex32>"
    "TORVEX32_BENCH=$<TARGET_FILE:torvex32-bench>"
    "TORVEX_ASSETS=$<TARGET_FILE:torvex-assets>"
    "WAYLAND_INPUT=$<TARGET_FILE:wayland_input>")
endif()
