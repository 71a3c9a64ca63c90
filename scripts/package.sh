#!/usr/bin/env bash
# Builds the release packages with CPack: ./scripts/package.sh [deb] [deb-arm64] [zip]
#   build/packages/zolt_<version>_<arch>.deb  the Linux release build (preset
#                                             linux-package), installed under /usr
#   build/packages/zolt_<version>_arm64.deb   the same, cross-built for 64-bit
#                                             ARM (preset linux-arm64-package)
#   build/packages/zolt-<version>-win32.zip   the Windows builds (presets windows
#   build/packages/zolt-<version>-win64.zip   and windows64), the ones their
#                                             tests run on; `zip` makes both
# Without arguments it makes all four. tests/package/run.sh checks them.
set -euo pipefail
cd "$(dirname "$0")/.."

kinds=("$@")
[ "${#kinds[@]}" -gt 0 ] || kinds=(deb deb-arm64 zip)

scripts/install-tools.sh

# The changelog's and the man pages' dates: the last commit's, so the same
# tree gives the same packages.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git rev-parse --git-dir >/dev/null 2>&1; then
  SOURCE_DATE_EPOCH="$(git log -1 --format=%ct)"
  export SOURCE_DATE_EPOCH
fi

mkdir -p build/packages

# Builds the preset and lets CPack make its package from the install rules.
# CPack's staging stays in the build folder; only the package is copied out.
# A cross-built .deb names its Debian architecture third: dpkg-shlibdeps
# then looks up that architecture's libraries, through scripts/cross-deb.
make_package() {
  local preset=$1 suffix=$2 architecture=${3:-}
  local cpack=(cpack -B packages)
  if [ -n "$architecture" ]; then
    cpack=(env PATH="$PWD/scripts/cross-deb:$PATH" dpkg-architecture -a"$architecture" -c "${cpack[@]}")
  fi
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  rm -rf "build/$preset/packages"
  (cd "build/$preset" && "${cpack[@]}")
  local made=(build/"$preset"/packages/*."$suffix")
  if [ "${#made[@]}" -ne 1 ] || [ ! -f "${made[0]}" ]; then
    echo "package.sh: CPack made no single .$suffix in build/$preset/packages" >&2
    exit 1
  fi
  cp "${made[0]}" build/packages/
  echo "Made build/packages/$(basename "${made[0]}")"
}

for kind in "${kinds[@]}"; do
  case "$kind" in
    deb) make_package linux-package deb ;;
    deb-arm64) make_package linux-arm64-package deb arm64 ;;
    zip) make_package windows zip; make_package windows64 zip ;;
    *) echo "usage: scripts/package.sh [deb] [deb-arm64] [zip]" >&2; exit 2 ;;
  esac
done
