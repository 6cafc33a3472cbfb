# sound.cmake — the sound data, made at build time from the editable sources in data/ and put
# next to the program: TORVEX.MID from the score, TORVEX.WAV (compressed) from the effect's
# settings. The plain effect goes to the tests, which compare expansions with it.
add_custom_command(
  OUTPUT ${TORVEX_OUT}/TORVEX.MID
  COMMAND torvex-make-midi ${PROJECT_SOURCE_DIR}/data/torvex-tune.txt ${TORVEX_OUT}/TORVEX.MID
  DEPENDS torvex-make-midi ${PROJECT_SOURCE_DIR}/data/torvex-tune.txt
  COMMENT "Writing TORVEX.MID")
add_custom_command(
  OUTPUT ${TORVEX_OUT}/TORVEX.WAV ${PROJECT_BINARY_DIR}/tests/TORVEX-plain.wav
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/tests
  COMMAND torvex-make-effect ${PROJECT_SOURCE_DIR}/data/torvex-effect.txt ${TORVEX_OUT}/TORVEX.WAV
          ${PROJECT_BINARY_DIR}/tests/TORVEX-plain.wav
  DEPENDS torvex-make-effect ${PROJECT_SOURCE_DIR}/data/torvex-effect.txt
  COMMENT "Writing TORVEX.WAV")
add_custom_target(torvex_sound_data ALL
  DEPENDS ${TORVEX_OUT}/TORVEX.MID ${TORVEX_OUT}/TORVEX.WAV)
