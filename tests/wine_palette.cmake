# wine_palette.cmake — what Wine does with palettes on a palettised X server: a small probe of
# GDI, and the benchmark's paused frame there. They document Wine's behaviour (tests/wine/), in
# the Windows build run under Wine.
if(CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR)
  add_executable(wine_palette_probe tests/wine/palette_probe.cpp)
  target_link_libraries(wine_palette_probe PRIVATE gdi32)
  set(TORVEX_WINE_PALETTE ${PROJECT_SOURCE_DIR}/tests/wine/test_wine_palette.py)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${TORVEX_WINE_PALETTE})
  file(STRINGS ${TORVEX_WINE_PALETTE} methods REGEX "^    def test_")
  foreach(method ${methods})
    string(REGEX REPLACE "^    def (test_[A-Za-z0-9_]+).*" "\\1" method "${method}")
    add_test(NAME wine.palette.${method}
             COMMAND ${Python3_EXECUTABLE} ${TORVEX_WINE_PALETTE} WinePaletteTest.${method})
    set_tests_properties(wine.palette.${method} PROPERTIES
      TIMEOUT 300 RUN_SERIAL TRUE LABELS e2e
      ENVIRONMENT "PROBE=$<TARGET_FILE:wine_palette_probe>;TORVEX32=$<TARGET_FILE:torvex32>;TORVEX_LAUNCHER=${CMAKE_CROSSCOMPILING_EMULATOR}")
  endforeach()
endif()
