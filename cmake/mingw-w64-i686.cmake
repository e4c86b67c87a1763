# Cross build for 32-bit Windows with mingw-w64 (Debian: g++-mingw-w64-i686).
set(TORVANIX_MINGW_TRIPLET i686-w64-mingw32)
set(TORVANIX_WINE_LOADER wine)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
