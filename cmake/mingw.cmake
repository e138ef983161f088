# Cross-compiling for Windows with MinGW-w64 (posix threads, which
# GoogleTest needs). Included by the toolchain file of each architecture,
# which sets POVUPDATE_MINGW_TRIPLET first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${POVUPDATE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${POVUPDATE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${POVUPDATE_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${POVUPDATE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Package files too: the build machine's own GoogleTest is no Windows one.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
