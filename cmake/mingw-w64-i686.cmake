# The 32-bit Windows flavour (preset windows).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZOLT_MINGW_TARGET i686-w64-mingw32)
set(ZOLT_WINE_WIDTH --win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
