#!/usr/bin/env bash
# Builds the release packages: ./scripts/package.sh [deb] [deb-arm64] [zip] [nuget]
#   build/packages/*_<version>_<arch>.deb     the Linux release build (preset
#                                             linux-package), installed under /usr:
#                                             libzolt<soname>, libzolt-dev,
#                                             zolt-tools, python3-zolt
#   build/packages/*_<version>_arm64.deb      the same four, cross-built for 64-bit
#                                             ARM (preset linux-arm64-package)
#   build/packages/zolt-<version>-win32.zip   the Windows builds (presets windows
#   build/packages/zolt-<version>-win64.zip   and windows64), the ones their
#                                             tests run on; `zip` makes both
#   build/packages/Zolt.<version>.nupkg       the .NET package: Zolt.Net and the
#                                             libraries of the three builds above
# Without arguments it makes them all. CPack makes all but the last, which
# tests/package/run.sh checks; dotnet/run-tests.sh checks the last.
set -euo pipefail
cd "$(dirname "$0")/.."

kinds=("$@")
[ "${#kinds[@]}" -gt 0 ] || kinds=(deb deb-arm64 zip nuget)

scripts/install-tools.sh

# The changelog's and the man pages' dates: the last commit's, so the same
# tree gives the same packages.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git rev-parse --git-dir >/dev/null 2>&1; then
  SOURCE_DATE_EPOCH="$(git log -1 --format=%ct)"
  export SOURCE_DATE_EPOCH
fi

mkdir -p build/packages

# Builds the preset and lets CPack make its packages from the install rules
# (COUNT of them). CPack's staging stays in the build folder; only the
# packages are copied out. A cross-built .deb names its Debian architecture
# fourth: dpkg-shlibdeps then looks up that architecture's libraries, through
# scripts/cross-deb.
make_package() {
  local preset=$1 suffix=$2 count=$3 architecture=${4:-}
  local cpack=(cpack -B packages)
  if [ -n "$architecture" ]; then
    cpack=(env PATH="$PWD/scripts/cross-deb:$PATH" dpkg-architecture -a"$architecture" -c "${cpack[@]}")
  fi
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  rm -rf "build/$preset/packages"
  (cd "build/$preset" && "${cpack[@]}")
  local made=(build/"$preset"/packages/*."$suffix")
  if [ "${#made[@]}" -ne "$count" ] || [ ! -f "${made[0]}" ]; then
    echo "package.sh: CPack made ${#made[@]} .$suffix in build/$preset/packages, not $count" >&2
    exit 1
  fi
  cp "${made[@]}" build/packages/
  printf 'Made build/packages/%s\n' "${made[@]##*/}"
}

# The NuGet package carries the library of each build that the other
# packages carry, so only the library is built here; the rest of each build
# is left as it is.
make_nuget() {
  if ! command -v dotnet >/dev/null 2>&1; then
    echo "package.sh: the NuGet package needs the .NET SDK (dotnet), which is not on PATH" >&2
    exit 1
  fi
  local preset
  for preset in linux-package linux-arm64-package windows windows64; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target Zolt
  done
  rm -f build/packages/Zolt.*.nupkg
  DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1 \
    dotnet pack dotnet/src/Zolt.Net -c Release -o build/packages -v quiet -nologo
  local made=(build/packages/Zolt.*.nupkg)
  echo "Made ${made[0]}"
}

for kind in "${kinds[@]}"; do
  case "$kind" in
    deb) make_package linux-package deb 4 ;;
    deb-arm64) make_package linux-arm64-package deb 4 arm64 ;;
    zip) make_package windows zip 1; make_package windows64 zip 1 ;;
    nuget) make_nuget ;;
    *) echo "usage: scripts/package.sh [deb] [deb-arm64] [zip] [nuget]" >&2; exit 2 ;;
  esac
done
