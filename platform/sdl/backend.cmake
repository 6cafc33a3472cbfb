# backend.cmake — the SDL2 backend (TORVEX_PLATFORM sdl): the platform library, the only code
# that includes SDL headers, with the program's icons and cursors compiled in; and the entry
# library, main() of programs.
include(${CMAKE_CURRENT_LIST_DIR}/dependencies.cmake)
set(TORVEX_BACKEND_DEPENDENCIES ${CMAKE_CURRENT_LIST_DIR}/dependencies.cmake)

file(GLOB TORVEX_SDL_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
list(FILTER TORVEX_SDL_SOURCES EXCLUDE REGEX "/entry\\.cpp$")
add_library(torvex_platform_sdl STATIC ${TORVEX_SDL_SOURCES})
target_link_libraries(torvex_platform_sdl PUBLIC torvex_core
  PkgConfig::SDL2 PkgConfig::SDL2_MIXER PkgConfig::MSPACK PkgConfig::WAYLAND_CLIENT)

# Wayland: the backend presents into Wayland windows through wl_shm buffers of its own and hears
# the compositor's presentation feedback (waylandpresent.cpp). It needs libwayland-client and
# the client code wayland-scanner makes from the protocols' XML.
find_program(WAYLAND_SCANNER wayland-scanner REQUIRED)
pkg_get_variable(WAYLAND_PROTOCOLS_DIR wayland-protocols pkgdatadir)
if(NOT WAYLAND_PROTOCOLS_DIR)
  message(FATAL_ERROR "wayland-protocols not found (Debian: wayland-protocols)")
endif()
set(TORVEX_WAYLAND_GENERATED ${PROJECT_BINARY_DIR}/wayland)
foreach(protocol presentation-time:stable/presentation-time/presentation-time.xml)
  string(REPLACE ":" ";" protocol "${protocol}")
  list(GET protocol 0 name)
  list(GET protocol 1 xml)
  add_custom_command(
    OUTPUT ${TORVEX_WAYLAND_GENERATED}/${name}-client-protocol.h
           ${TORVEX_WAYLAND_GENERATED}/${name}-protocol.c
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TORVEX_WAYLAND_GENERATED}
    COMMAND ${WAYLAND_SCANNER} client-header ${WAYLAND_PROTOCOLS_DIR}/${xml}
            ${TORVEX_WAYLAND_GENERATED}/${name}-client-protocol.h
    COMMAND ${WAYLAND_SCANNER} private-code ${WAYLAND_PROTOCOLS_DIR}/${xml}
            ${TORVEX_WAYLAND_GENERATED}/${name}-protocol.c
    DEPENDS ${WAYLAND_PROTOCOLS_DIR}/${xml} VERBATIM)
  target_sources(torvex_platform_sdl PRIVATE ${TORVEX_WAYLAND_GENERATED}/${name}-protocol.c
                 ${TORVEX_WAYLAND_GENERATED}/${name}-client-protocol.h)
endforeach()
target_include_directories(torvex_platform_sdl PRIVATE
  $<BUILD_INTERFACE:${TORVEX_WAYLAND_GENERATED}>)

# The icons and cursors, from data/*.art, as a table compiled in.
file(GLOB TORVEX_RESOURCE_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/data/*.art)
set(TORVEX_RESOURCES_CPP ${PROJECT_BINARY_DIR}/generated/resources.cpp)
add_custom_command(
  OUTPUT ${TORVEX_RESOURCES_CPP}
  COMMAND torvex-win-resources --table ${TORVEX_RESOURCES_CPP} ${TORVEX_RESOURCE_SOURCES}
  DEPENDS torvex-win-resources ${TORVEX_RESOURCE_SOURCES}
  COMMENT "Compiling the program's resources from data/*.art"
  VERBATIM)
target_sources(torvex_platform_sdl PRIVATE ${TORVEX_RESOURCES_CPP})

# main() builds the argument vector and runs the framework.
add_library(torvex_entry STATIC ${CMAKE_CURRENT_LIST_DIR}/entry.cpp)
target_link_libraries(torvex_entry PUBLIC torvex_framework)
