# Cross-builds for 64-bit Windows with Debian's mingw-w64 compilers. The
# "-posix" variants: OpenCV needs the C++ thread primitives, which the default
# "-win32" thread model lacks.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PITCHLOG_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PITCHLOG_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PITCHLOG_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${PITCHLOG_MINGW_TRIPLET}-windres)

# Libraries and headers come from the mingw sysroot and the folders named in
# CMAKE_PREFIX_PATH or CMAKE_FIND_ROOT_PATH, never from the Linux system;
# programs (code generators) from the Linux system.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${PITCHLOG_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
