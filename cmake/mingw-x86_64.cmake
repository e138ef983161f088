# A 64-bit Windows build of the same code, for running the Windows test
# suite under Wine on machines that can't execute 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(POVUPDATE_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
