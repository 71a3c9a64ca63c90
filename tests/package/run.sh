#!/usr/bin/env bash
# Checks the packages that scripts/package.sh made: tests/package/run.sh
# The .deb as a file (list, metadata, dependencies, lintian, man pages); then,
# as root only, installed with dpkg, used and removed; the cross-built arm64
# .deb as a file; and each Windows zip against the build its tests ran. Ends
# with "package: N passed, N failed, N skipped" and a non-zero exit on any
# failure.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
cd "$source_dir" || exit 1

version=$(sed -nE 's/^project\(Zolt VERSION ([0-9]+\.[0-9]+\.[0-9]+).*/\1/p' CMakeLists.txt)
# Before 1.0 the soname carries the minor version too (library/CMakeLists.txt).
major=${version%%.*}
minor=${version#*.}
minor=${minor%%.*}
if [ "$major" -eq 0 ]; then soversion=$major.$minor; else soversion=$major; fi
# The machine's own .deb, and the cross-built arm64 one, which is checked as
# a file only: dpkg installs packages of the machine's architectures.
deb_architecture=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
deb=$source_dir/build/packages/zolt_${version}_$deb_architecture.deb
# Every page written in docs/man must be in the package, whatever the build's
# list says.
man_pages=()
for source_page in docs/man/*.scd; do
  page=${source_page##*/}
  man_pages+=("${page%.scd}")
done

source "$here/harness.sh"
source "$here/deb_checks.sh"
source "$here/installed_checks.sh"
source "$here/zip_checks.sh"

# Only what the packages give: no paths into a build.
unset LD_LIBRARY_PATH CMAKE_PREFIX_PATH PKG_CONFIG_PATH MANPATH
work=$(mktemp -d)
installed_here=
cleanup() {
  # A failed run must not leave the package installed.
  if [ -n "$installed_here" ] && dpkg-query -W zolt >/dev/null 2>&1; then dpkg --purge zolt >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# The checks of a .deb as a file, on $deb of $deb_architecture.
check_deb_file() {
  unpacked=$work/deb-$deb_architecture
  control=$work/deb-control-$deb_architecture
  dpkg-deb -x "$deb" "$unpacked"
  dpkg-deb -e "$deb" "$control"
  check "file list (dpkg-deb -c)" deb_file_list
  check "metadata (dpkg-deb -f)" deb_metadata
  check "Depends covers every library the binaries need" deb_depends_cover_the_binaries
  check "libZolt: soname and the five exports" deb_library
  check "lintian: no errors" deb_lintian
  check "every man page renders without warnings" man_pages_render
  check "every status code is on its function's man page" man_pages_cover_every_status
}

echo "== The .deb: $deb"
if [ -f "$deb" ]; then
  check_deb_file

  if [ "$(id -u)" -ne 0 ]; then
    for name in "dpkg -i" "man -w" "host with pkg-config" "host with find_package" "Python module" "Kwarne_Brivex" "dpkg -r"; do
      skip "$name" "installing the .deb needs root; run as root (as CI does) to test it"
    done
  elif package_installed; then
    failure "dpkg -i: zolt is installed already; remove it (dpkg -r zolt) and run again"
  else
    installed_here=1
    check "dpkg -i" deb_installs
    if package_installed; then
      check "man -w finds every page" man_pages_installed
      check "README's host with pkg-config, against the installed demo slave" host_builds_with_pkg_config
      check "README's host with find_package(Zolt), and the kit's slave" host_builds_with_find_package
      check "Debian's python3 imports the module, which loads the package's library: the README's host" \
        python_module_runs_the_readme_host
      check "Kwarne_Brivex from the installed demo folder" demo_runs_from_its_installed_place
      check "dpkg -r leaves no file of the package, dpkg --purge no record" deb_removes_cleanly
    fi
  fi
else
  failure "no $deb: scripts/package.sh makes it"
fi

deb_architecture=arm64
multiarch=$(dpkg-architecture -a"$deb_architecture" -qDEB_HOST_MULTIARCH 2>/dev/null)
deb=$source_dir/build/packages/zolt_${version}_$deb_architecture.deb
echo "== The cross-built .deb: $deb"
if [ -f "$deb" ]; then
  check_deb_file
else
  failure "no $deb: scripts/package.sh deb-arm64 makes it"
fi

for width in 32 64; do
  zip=$(zip_of $width)
  echo "== The $width-bit zip: $zip"
  if [ -f "$zip" ]; then
    check "file list" zip_file_list $width
    check "its programs are those the Windows tests ran" zip_holds_the_tested_build $width
    check "every program and the DLL are $width-bit" zip_programs_are_of_its_width $width
  else
    failure "no $zip: scripts/package.sh makes it"
  fi
done

finish
