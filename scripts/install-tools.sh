#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks for building and testing Zolt:
# the native toolchain and GoogleTest, pkg-config (the install test builds a
# host with it) and libedit (line editing in zolt-console), Python's test and
# packaging tools, for the Windows flavours the mingw-w64 cross compilers of
# both widths and Wine for both (a 64-bit prefix runs 32-bit programs only
# with wine32 beside wine64), and the tools that make and check the packages.
# Asks apt only when something is missing.
set -euo pipefail

packages=(cmake ninja-build g++ binutils libgtest-dev libgmock-dev googletest
          libbenchmark-dev pkg-config libedit-dev
          # libFuzzer (clang's runtime) and memcheck, for the robustness steps
          clang libclang-rt-14-dev valgrind
          # the Python package: its tests, and an offline pip install
          python3-pytest python3-setuptools python3-pip python3-venv
          g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine32:i386 wine64
          # the arm64 flavour: its cross compiler, and qemu-user to run it
          g++-aarch64-linux-gnu qemu-user-static binfmt-support
          # the packages: man pages from scdoc, CPack's .deb (dpkg-shlibdeps,
          # file), and the package test (lintian, man)
          scdoc dpkg-dev file lintian man-db)

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)

# wine32 is a package of the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${as_root[@]}" dpkg --add-architecture i386
  need_update=1
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ "${#missing[@]}" -gt 0 ] || [ -n "${need_update:-}" ]; then
  "${as_root[@]}" apt-get update -qq
fi
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi
