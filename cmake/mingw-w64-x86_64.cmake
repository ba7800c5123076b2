# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (posix threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUVA_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUVA_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUVA_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QUVA_MINGW_TRIPLET}-windres)

# Search headers and libraries in the mingw sysroot and in the given
# prefixes (the Qt and libxlsxwriter cache); programs on the build machine.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${QUVA_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests run through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)

# Qt 5's headers declare some exported operators again without dllimport: GCC would warn
# about it in every file.
set(CMAKE_CXX_FLAGS_INIT "-Wno-attributes")
