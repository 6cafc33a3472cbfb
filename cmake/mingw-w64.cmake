# mingw-w64.cmake — the toolchain of the native Windows build: Debian's MinGW-w64 cross
# compilers (POSIX threads), windres for the resources, and Wine to run what is built
# (tests, the test discovery) on the build machine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TORVEX_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TORVEX_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TORVEX_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TORVEX_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TORVEX_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
find_program(TORVEX_WINE NAMES wine wine64)
if(TORVEX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TORVEX_WINE})
endif()
# Programs on the Win32 backend, with printf and its kin as C99 has them (%zu and the like),
# not as the old system library does; they carry their C++ runtime inside, so they run on a
# Windows with nothing installed.
set(TORVEX_PLATFORM win32 CACHE STRING "The platform backend: sdl or win32")
set(CMAKE_C_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1")
set(CMAKE_CXX_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
