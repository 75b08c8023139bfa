# Shared part of the MinGW-w64 toolchains. The win32 threading flavour of the
# compilers needs no winpthread library, so -static yields a program that needs
# no DLL beyond the system's own.
find_program(CMAKE_C_COMPILER NAMES ${VCBOOT_MINGW_PREFIX}-gcc-win32 ${VCBOOT_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${VCBOOT_MINGW_PREFIX}-g++-win32 ${VCBOOT_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${VCBOOT_MINGW_PREFIX}-windres)
find_program(CMAKE_STRIP NAMES ${VCBOOT_MINGW_PREFIX}-strip)
set(CMAKE_FIND_ROOT_PATH /usr/${VCBOOT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
