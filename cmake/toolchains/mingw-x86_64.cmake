# Cross-builds Pagewright.dll for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64).
# The 64-bit module is the one that runs under the 64-bit Wine available on Linux CI machines.
set(PAGEWRIGHT_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
