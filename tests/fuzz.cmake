# fuzz.cmake — libFuzzer targets for the font and sprite loaders, outside the normal build:
# configure with -DTORVEX_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++, then build fuzz_font and
# fuzz_sprites and run them on a corpus directory (see tests/fuzz/README.md).
option(TORVEX_FUZZ "Build the libFuzzer targets of the loaders (clang)" OFF)
if(TORVEX_FUZZ)
  foreach(kind font sprites)
    add_executable(fuzz_${kind} ${CMAKE_CURRENT_LIST_DIR}/fuzz/fuzz_${kind}.cpp
                   ${CMAKE_CURRENT_LIST_DIR}/../assets/loaders.cpp)
    target_include_directories(fuzz_${kind} PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
    target_compile_options(fuzz_${kind} PRIVATE -g -O1 -fsanitize=fuzzer,address,undefined)
    target_link_options(fuzz_${kind} PRIVATE -fsanitize=fuzzer,address,undefined)
    set_target_properties(fuzz_${kind} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/fuzz)
  endforeach()
endif()
