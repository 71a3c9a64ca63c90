# Cross-builds a Windows flavour with Debian's mingw-w64 (posix thread model,
# so std::thread and std::mutex work), and runs what it builds under Wine.
# Included by the toolchain file of each width, which sets ZOLT_MINGW_TARGET
# (the compilers' prefix) and ZOLT_WINE_WIDTH (how scripts/wine-run.sh
# picks its prefix).
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${ZOLT_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZOLT_MINGW_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZOLT_MINGW_TARGET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZOLT_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests and programs run through Wine, in a prefix of the build's own.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh ${ZOLT_WINE_WIDTH})
