# install.cmake — what `cmake --install` puts where, and the Debian package made from it
# (scripts/package.sh, or cpack -G DEB in a build directory).
#
# Two components: "program" (the programs, their data, the manual pages and the desktop
# integration; the .deb holds exactly this) and "development" (headers, static libraries, the
# CMake package and the pkg-config files, for applications built on the framework). The
# desktop integration, the pkg-config files and the Debian package are for systems that have
# them: not for the Windows build.
include(CMakePackageConfigHelpers)

set(TORVEX_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(TORVEX_GENERATED ${PROJECT_BINARY_DIR}/generated)

# ---- program ------------------------------------------------------------------------------
# The tools a user runs, where this build makes them (a cross build has the build machine's).
set(TORVEX_PROGRAMS torvex32 torvex32-bench)
if(NOT CMAKE_CROSSCOMPILING)
  list(APPEND TORVEX_PROGRAMS torvex-compare torvex-assets)
endif()
install(TARGETS ${TORVEX_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
install(FILES ${TORVEX_FONT_FILE} ${TORVEX_SPRITE_FILE} ${TORVEX_OUT}/TORVEX.MID
              ${TORVEX_OUT}/TORVEX.WAV
        DESTINATION ${TORVEX_DATA_DIR} COMPONENT program)
if(NOT WIN32)
  install(FILES ${TORVEX_PACKAGING_DIR}/torvex32.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT program)
  install(FILES ${TORVEX_PACKAGING_DIR}/torvex32.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT program)
  foreach(size ${TORVEX_ICON_SIZES})
    install(FILES ${TORVEX_GENERATED}/icons/${size}x${size}/torvex32.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps COMPONENT program)
  endforeach()

# The test suite's profile, in the data folder (the package's architecture-independent files,
# as Debian puts a game's data), with the installed runner's full path in its install.sh:
# torvex32-bench --install-suite-profile copies it into the user's profiles.
set(TORVEX_SUITE_RUNNER ${CMAKE_INSTALL_FULL_BINDIR}/torvex32-bench)
configure_file(${TORVEX_PACKAGING_DIR}/suite-profile/torvex32/install.sh.in
  ${TORVEX_GENERATED}/suite-profile/install.sh @ONLY)
install(FILES ${TORVEX_PACKAGING_DIR}/suite-profile/torvex32/test-definition.xml
              ${TORVEX_PACKAGING_DIR}/suite-profile/torvex32/results-definition.xml
        DESTINATION ${TORVEX_DATA_DIR}/suite-profile/torvex32 COMPONENT program)
install(PROGRAMS ${TORVEX_GENERATED}/suite-profile/install.sh
        DESTINATION ${TORVEX_DATA_DIR}/suite-profile/torvex32 COMPONENT program)

  # Manual pages and the changelog are installed compressed, as Debian expects; -n keeps the
  # files identical from build to build.
  set(TORVEX_GZIPPED "")
  function(torvex_gzip source destination)
    get_filename_component(name ${source} NAME)
    set(output ${TORVEX_GENERATED}/gz/${name}.gz)
    add_custom_command(OUTPUT ${output}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${TORVEX_GENERATED}/gz
      COMMAND gzip -n -9 -c ${source} > ${output}
      DEPENDS ${source} VERBATIM)
    set(TORVEX_GZIPPED ${TORVEX_GZIPPED} ${output} PARENT_SCOPE)
    install(FILES ${output} DESTINATION ${destination} COMPONENT program)
  endfunction()
  file(GLOB TORVEX_MAN_PAGES CONFIGURE_DEPENDS ${TORVEX_PACKAGING_DIR}/man/*.[0-9])
  foreach(page ${TORVEX_MAN_PAGES})
    string(REGEX REPLACE ".*\\.([0-9])$" "\\1" section ${page})
    torvex_gzip(${page} ${CMAKE_INSTALL_MANDIR}/man${section})
  endforeach()
  torvex_gzip(${TORVEX_PACKAGING_DIR}/changelog ${CMAKE_INSTALL_DOCDIR})
  add_custom_target(torvex_gzipped ALL DEPENDS ${TORVEX_GZIPPED})
  install(FILES ${TORVEX_PACKAGING_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR}
          COMPONENT program)
endif()

# ---- development --------------------------------------------------------------------------
foreach(header frame/frame.h platform/platform.h graphics/graphics.h assets/assets.h
               sound/sound.h app/app.h)
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${PROJECT_SOURCE_DIR}/${header} DESTINATION ${TORVEX_INCLUDE_DIR}/${folder}
          COMPONENT development)
endforeach()
install(TARGETS torvex_core ${TORVEX_BACKEND} torvex_framework torvex_entry torvex_app
                torvex_app_set torvex_null_app torvex_null_app_set
        EXPORT torvex32Targets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
        INCLUDES DESTINATION ${TORVEX_INCLUDE_DIR})
install(EXPORT torvex32Targets NAMESPACE torvex32:: DESTINATION ${TORVEX_CMAKE_DIR}
        COMPONENT development)
configure_package_config_file(${TORVEX_PACKAGING_DIR}/torvex32Config.cmake.in
  ${TORVEX_GENERATED}/torvex32Config.cmake
  INSTALL_DESTINATION ${TORVEX_CMAKE_DIR} PATH_VARS TORVEX_DATA_DIR)
write_basic_package_version_file(${TORVEX_GENERATED}/torvex32ConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${TORVEX_GENERATED}/torvex32Config.cmake
              ${TORVEX_GENERATED}/torvex32ConfigVersion.cmake
        DESTINATION ${TORVEX_CMAKE_DIR} COMPONENT development)
# The libraries the backend links, found the way the build found them.
if(TORVEX_BACKEND_DEPENDENCIES)
  install(FILES ${TORVEX_BACKEND_DEPENDENCIES} RENAME torvex32Dependencies.cmake
          DESTINATION ${TORVEX_CMAKE_DIR} COMPONENT development)
endif()

if(WIN32)
  return()
endif()

# pkg-config: torvex32 (the framework and main(); the application supplies every hook) and
# torvex32-null-app (the same, with the null application filling the hooks left out).
if(IS_ABSOLUTE "${TORVEX_DATA_DIR}")
  set(TORVEX_PC_DATADIR "${TORVEX_DATA_DIR}")
else()
  set(TORVEX_PC_DATADIR "\${prefix}/${TORVEX_DATA_DIR}")
endif()
file(RELATIVE_PATH TORVEX_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" TORVEX_PC_TO_PREFIX "${TORVEX_PC_TO_PREFIX}")
foreach(pc torvex32 torvex32-null-app)
  if(pc STREQUAL "torvex32")
    set(TORVEX_PC_HOOKS "")
    set(TORVEX_PC_WHAT "the framework on the SDL2 backend")
  else()
    set(TORVEX_PC_HOOKS " -ltorvex_null_app")
    set(TORVEX_PC_WHAT "the framework on the SDL2 backend with the null application")
  endif()
  configure_file(${TORVEX_PACKAGING_DIR}/torvex32.pc.in ${TORVEX_GENERATED}/${pc}.pc @ONLY)
  install(FILES ${TORVEX_GENERATED}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
          COMPONENT development)
endforeach()

# ---- the Debian package -------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME torvex32)
set(CPACK_PACKAGE_VENDOR "torvex32 developers")
set(CPACK_PACKAGE_CONTACT "torvex32 developers <torvex32@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "graphics and sound benchmark for desktop windowing systems")
# The long description; CPack puts the summary line above it.
set(CPACK_DEBIAN_PROGRAM_DESCRIPTION "A small graphics and sound performance test. One window shows an
8-bit palettised frame buffer: it scrolls a tiled picture in changing
directions, swings sprites along the borders, loops a MIDI tune, sounds an
effect when the sprites turn and shows the frames composed per ten seconds.
.
The package also holds torvex32-bench, which runs the benchmark several
times, headless or in a window, and prints the rate with its spread or the
whole result as JSON; torvex-compare, which puts such results side by side
and charts them; and torvex-assets, which reads, converts and builds the font
and sprite files.")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL program)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME torvex32)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The section follows where the programs go: games in /usr/games (as scripts/package.sh
# builds it), utilities in /usr/bin (a plain build's layout); lintian holds the two together.
if(CMAKE_INSTALL_BINDIR MATCHES "(^|/)games$")
  set(CPACK_DEBIAN_PACKAGE_SECTION games)
else()
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
endif()
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The tune plays through a General MIDI soundfont; without one the program is silent but runs.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "timgm6mb-soundfont | musescore-general-soundfont-small")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
