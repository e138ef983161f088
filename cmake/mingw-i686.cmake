# The shipped 32-bit Windows build.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(POVUPDATE_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
