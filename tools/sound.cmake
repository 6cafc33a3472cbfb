# sound.cmake — the tools that make the sound data: torvex-make-midi (text score to MIDI) and
# torvex-make-effect (the synthesised turn sound, compressed with our own SZDD compressor).
add_executable(torvex-make-midi tools/make_midi.cpp)

add_library(torvex_szdd STATIC tools/szdd_compress.cpp)
target_include_directories(torvex_szdd PUBLIC ${PROJECT_SOURCE_DIR})

add_executable(torvex-make-effect tools/make_effect.cpp)
target_link_libraries(torvex-make-effect PRIVATE torvex_szdd)
