# Cross-builds Pagewright.dll for 32-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-i686): the
# module hosts load, with the cdecl exports and structure layout of a 32-bit process.
set(PAGEWRIGHT_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
