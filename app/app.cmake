# app.cmake — the benchmark program torvex32 and its headless runner torvex32-bench.

# The framework calls the application's hooks and the application calls the framework, so the
# static libraries are searched as one group.
set(TORVEX_PROGRAM_LIBS "$<LINK_GROUP:RESCAN,torvex_app,torvex_core,torvex_platform_sdl>"
    PkgConfig::SDL2 PkgConfig::SDL2_MIXER PkgConfig::MSPACK)

add_executable(torvex32 $<TARGET_OBJECTS:torvex_entry>)
target_link_libraries(torvex32 PRIVATE ${TORVEX_PROGRAM_LIBS})

# The runner's parts apart from main(), so that tests can link them.
add_library(torvex_runner STATIC app/runner/options.cpp app/runner/result.cpp app/runner/run.cpp)
target_include_directories(torvex_runner PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_definitions(torvex_runner PRIVATE TORVEX_BUILD_TYPE="${CMAKE_BUILD_TYPE}")
target_link_libraries(torvex_runner PUBLIC torvex_core torvex_version)

add_executable(torvex32-bench app/runner/main.cpp)
target_include_directories(torvex32-bench PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(torvex32-bench PRIVATE
  "$<LINK_GROUP:RESCAN,torvex_runner,torvex_app,torvex_core,torvex_platform_sdl>"
  PkgConfig::SDL2 PkgConfig::SDL2_MIXER PkgConfig::MSPACK torvex_asset_tool)

# Installed layout: the program and its data files side by side in lib/torvex32 (the program
# finds its data next to its own file), a link to the program in bin, a desktop entry.
install(TARGETS torvex32 torvex32-bench RUNTIME DESTINATION ${TORVEX_INSTALL_DIR})
install(CODE "
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  foreach(program torvex32 torvex32-bench)
    file(CREATE_LINK \"../${TORVEX_INSTALL_DIR}/\${program}\"
         \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\" SYMBOLIC)
  endforeach()")
install(FILES app/torvex32.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
