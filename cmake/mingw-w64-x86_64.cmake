# Cross build for 64-bit Windows with Debian's mingw-w64 compilers (the posix thread model).
# Programs are linked statically, so they run without the compiler's DLLs beside them; when
# Debian's wine64 is installed, tests run through it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELMORA_MINGW_HOST x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELMORA_MINGW_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELMORA_MINGW_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${VELMORA_MINGW_HOST}-windres)

# Kept beside roots given on the command line (the cross-built Qt's folder).
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${VELMORA_MINGW_HOST})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Debian's wine64 keeps its program out of the PATH.
find_program(VELMORA_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(VELMORA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VELMORA_WINE})
endif()
