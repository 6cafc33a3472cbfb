# dependencies.cmake — the libraries the SDL backend links: found by the build, and again by
# applications through the installed CMake package, the same way.
find_package(PkgConfig REQUIRED)
foreach(module SDL2:sdl2 SDL2_MIXER:SDL2_mixer MSPACK:libmspack WAYLAND_CLIENT:wayland-client)
  string(REPLACE ":" ";" module "${module}")
  list(GET module 0 prefix)
  list(GET module 1 name)
  if(NOT TARGET PkgConfig::${prefix})
    pkg_check_modules(${prefix} REQUIRED QUIET IMPORTED_TARGET ${name})
  endif()
endforeach()
