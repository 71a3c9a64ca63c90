#!/usr/bin/env bash
# Builds both flavours and runs every test: ./scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-tools.sh test

# Each part says how long it took, so a slow one shows in CI's log.
part_started=$SECONDS
part_done() {
  echo "== $1: $((SECONDS - part_started)) s"
  part_started=$SECONDS
}

# Linux: unit, integration and driver tests.
cmake --preset linux
cmake --build --preset linux
ctest --preset linux
part_done "Linux build and tests"

# Python: the zolt package (host module and slave kit) and zolt-objects,
# with Debian's python3 against the build above.
ZOLT_BUILD_BIN=build/linux/bin PYTHONDONTWRITEBYTECODE=1 \
  /usr/bin/python3 -m pytest -q -p no:cacheprovider python/tests tools/zolt-objects/tests
part_done "Python package and zolt-objects"

# Linux again, the concurrency tests under ThreadSanitizer.
cmake --preset linux-tsan
cmake --build --preset linux-tsan
ctest --preset linux-tsan
part_done "ThreadSanitizer"

# Linux again, every test under AddressSanitizer and UndefinedBehaviorSanitizer,
# leak checks included.
cmake --preset linux-asan
cmake --build --preset linux-asan
ctest --preset linux-asan
part_done "AddressSanitizer and UndefinedBehaviorSanitizer"

# The fuzz targets, built with clang, each run for 20 s from its kept corpus.
cmake --preset fuzz
cmake --build --preset fuzz
ctest --preset fuzz
part_done "Fuzzing"

# The driver and a handful of integration tests of the first build under
# valgrind's memcheck.
tests/memcheck/run.sh build/linux
part_done "Memcheck"

# Linux on 64-bit ARM: cross-built, and its unit, integration and driver
# tests run under qemu-user, which scripts/arm64-run.sh registers with
# binfmt_misc so that the slaves the library starts run too (docs/arm64.md).
cmake --preset linux-arm64
cmake --build --preset linux-arm64
ctest --preset linux-arm64
part_done "Linux on arm64: cross-built, tests under qemu-user"

# Windows: the same tests, cross-built, under Wine, once per width: the
# 32-bit flavour in a 32-bit prefix, then the 64-bit flavour in a 64-bit
# prefix, which runs programs of both widths and so also the tests that mix
# hosts and slaves of the two. Each build has a prefix and a wineserver of its
# own, shut down after its tests, whatever the outcome.
trap 'for width in --win32 --win64; do scripts/wine-run.sh $width wineserver -k >/dev/null 2>&1 || true; done' EXIT
# Wine runs 32-bit programs through a 32-bit loader of its own: where the
# kernel cannot run 32-bit x86 programs, the 32-bit flavour is built (and
# packaged) but not run, and the 64-bit tests leave out those that mix widths.
runs_i386=yes
scripts/runs-i386.sh || runs_i386=
windows_flavour() {
  local preset=$1 width=$2
  shift 2
  cmake --preset "$preset" "$@"
  cmake --build --preset "$preset"
  if [ "$width" = --win32 ] && [ -z "$runs_i386" ]; then
    echo "test.sh: this kernel runs no 32-bit x86 programs (booted without ia32 emulation):" \
      "the 32-bit Windows build is made but its tests are not run here"
    return
  fi
  # One server for the whole run: left to itself it exits whenever no Wine
  # program runs for a moment, and a test that starts just then loses its
  # connection to it.
  scripts/wine-run.sh "$width" wineserver -k >/dev/null 2>&1 || true
  scripts/wine-run.sh "$width" wineserver -p
  # A warm prefix, so no test pays for Wine's first start.
  scripts/wine-run.sh "$width" wineboot -i >/dev/null 2>&1
  ctest --preset "$preset"
  scripts/wine-run.sh "$width" wineserver -k >/dev/null 2>&1 || true
}
windows_flavour windows --win32
part_done "Windows, 32-bit: build${runs_i386:+ and tests under Wine}"
if [ -n "$runs_i386" ]; then
  windows_flavour windows64 --win64
  part_done "Windows, 64-bit: build and tests under Wine, with the tests of both widths together"
else
  windows_flavour windows64 --win64 -DZOLT_OTHER_WIDTH_BUILD=
  part_done "Windows, 64-bit: build and tests under Wine (no tests of both widths: see above)"
fi

# Packages: the .debs from a release build, natively and cross-built for
# arm64, and a zip from each Windows build just tested, made by CPack; then
# checked, the native .debs installed with dpkg and removed again (as root;
# skipped otherwise), the arm64 ones as files.
scripts/package.sh deb deb-arm64 zip
tests/package/run.sh
ZOLT_DEB_ARCHITECTURE=arm64 tests/package/run.sh
part_done "Packages"

# .NET, last since it alone needs the .NET SDK: the NuGet package with the
# libraries of the builds above, Zolt.Net's tests on its Linux library, its
# layout, and a host outside the build that restores the packed package from
# build/packages and drives the demo slave through it.
scripts/package.sh nuget
dotnet/run-tests.sh
part_done ".NET package: Zolt.Net tests, layout, and a host of the packed package"
