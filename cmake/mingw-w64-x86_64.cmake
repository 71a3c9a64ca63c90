# The 64-bit Windows flavour (preset windows64).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZOLT_MINGW_TARGET x86_64-w64-mingw32)
set(ZOLT_WINE_WIDTH --win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
