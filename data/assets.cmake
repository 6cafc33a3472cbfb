# assets.cmake — the data files TORVEX32.ZGL (font) and TORVEX32.ZOR (sprites), built from the
# editable sources in data/ by torvex-assets and placed next to the program. The tool fails the
# build when the files and the benchmark's text sprites do not fit in the asset arena.
set(TORVEX_DATA_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(TORVEX_FONT_FILE ${TORVEX_OUT}/TORVEX32.ZGL)
set(TORVEX_SPRITE_FILE ${TORVEX_OUT}/TORVEX32.ZOR)

add_custom_command(
  OUTPUT ${TORVEX_FONT_FILE} ${TORVEX_SPRITE_FILE}
  COMMAND torvex-assets build ${TORVEX_DATA_SOURCE_DIR}/font.txt ${TORVEX_DATA_SOURCE_DIR}/sprites.txt
          ${TORVEX_OUT}
  DEPENDS torvex-assets ${TORVEX_DATA_SOURCE_DIR}/font.txt ${TORVEX_DATA_SOURCE_DIR}/sprites.txt
  COMMENT "Building the font and sprite files"
  VERBATIM)
add_custom_target(torvex_data ALL DEPENDS ${TORVEX_FONT_FILE} ${TORVEX_SPRITE_FILE})
