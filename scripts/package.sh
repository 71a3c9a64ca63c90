#!/usr/bin/env bash
# Builds the release packages with CPack: ./scripts/package.sh [deb] [zip]
#   build/packages/*_<version>_<arch>.deb     the Linux release build (preset
#                                             linux-package), installed under /usr:
#                                             libzolt<soname>, libzolt-dev,
#                                             zolt-tools, python3-zolt
#   build/packages/zolt-<version>-win32.zip   the Windows builds (presets windows
#   build/packages/zolt-<version>-win64.zip   and windows64), the ones their
#                                             tests run on; `zip` makes both
# Without arguments it makes all three. tests/package/run.sh checks them.
set -euo pipefail
cd "$(dirname "$0")/.."

kinds=("$@")
[ "${#kinds[@]}" -gt 0 ] || kinds=(deb zip)

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
# packages are copied out.
make_package() {
  local preset=$1 suffix=$2 count=$3
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  rm -rf "build/$preset/packages"
  (cd "build/$preset" && cpack -B packages)
  local made=(build/"$preset"/packages/*."$suffix")
  if [ "${#made[@]}" -ne "$count" ] || [ ! -f "${made[0]}" ]; then
    echo "package.sh: CPack made ${#made[@]} .$suffix in build/$preset/packages, not $count" >&2
    exit 1
  fi
  cp "${made[@]}" build/packages/
  printf 'Made build/packages/%s\n' "${made[@]##*/}"
}

for kind in "${kinds[@]}"; do
  case "$kind" in
    deb) make_package linux-package deb 4 ;;
    zip) make_package windows zip 1; make_package windows64 zip 1 ;;
    *) echo "usage: scripts/package.sh [deb] [zip]" >&2; exit 2 ;;
  esac
done
