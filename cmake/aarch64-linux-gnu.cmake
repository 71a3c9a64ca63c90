# Cross-builds the 64-bit ARM Linux flavour (preset linux-arm64) with Debian's
# g++-aarch64-linux-gnu, and runs what it builds under qemu-user through
# scripts/arm64-run.sh, which registers the emulator with binfmt_misc first so
# that the slaves a test starts run too.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(ZOLT_CROSS_TARGET aarch64-linux-gnu)

set(CMAKE_C_COMPILER ${ZOLT_CROSS_TARGET}-gcc)
set(CMAKE_CXX_COMPILER ${ZOLT_CROSS_TARGET}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${ZOLT_CROSS_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must not hand the build machine's amd64 libraries to the cross
# linker: only arm64 ones, where multiarch has installed any.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${ZOLT_CROSS_TARGET}/pkgconfig:/usr/share/pkgconfig)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/arm64-run.sh)
