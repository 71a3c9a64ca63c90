#!/usr/bin/env bash
# Checks the packages that scripts/package.sh made: tests/package/run.sh
# Each Debian package as a file (list, metadata, dependencies, lintian, man
# pages); then, as root only, installed with dpkg one after another, used
# and removed; and each Windows zip against the build its tests ran.
# ZOLT_DEB_ARCHITECTURE names the packages' architecture when it is not the
# machine's. Ends with "package: N passed, N failed,
# N skipped" and a non-zero exit on any failure.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
cd "$source_dir" || exit 1

version=$(sed -nE 's/^project\(Zolt VERSION ([0-9]+\.[0-9]+\.[0-9]+).*/\1/p' CMakeLists.txt)
# Before 1.0 the soname carries the minor version too (CMakeLists.txt).
major=${version%%.*}
minor=${version#*.}
minor=${minor%%.*}
if [ "$major" -eq 0 ]; then soversion=$major.$minor; else soversion=$major; fi
# The packages of another architecture (a cross build's) are checked as
# files; installing them needs a machine of theirs.
architecture=${ZOLT_DEB_ARCHITECTURE:-$(dpkg --print-architecture)}
multiarch=$(dpkg-architecture -a"$architecture" -qDEB_HOST_MULTIARCH 2>/dev/null)
declare -A packages=([runtime]=libzolt$soversion [dev]=libzolt-dev [tools]=zolt-tools [python]=python3-zolt)
roles=(runtime dev tools python)
# Every page written in docs/man must be in a package, whatever the build's
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
unset LD_LIBRARY_PATH CMAKE_PREFIX_PATH PKG_CONFIG_PATH MANPATH ZOLT_LIBRARY PYTHONPATH
work=$(mktemp -d)
installed_here=
cleanup() {
  # A failed run must not leave a package installed.
  local role
  if [ -n "$installed_here" ]; then
    for role in python tools dev runtime; do
      if dpkg-query -W "${packages[$role]}" >/dev/null 2>&1; then dpkg --purge "${packages[$role]}" >/dev/null 2>&1 || true; fi
    done
  fi
  rm -rf "$work"
}
trap cleanup EXIT

unpacked=$work/deb
control=$work/deb-control
mkdir -p "$unpacked" "$control"
all_present=1
for role in "${roles[@]}"; do
  deb=$(deb_of "$role")
  echo "== ${packages[$role]}: $deb"
  if [ ! -f "$deb" ]; then
    failure "no $deb: scripts/package.sh deb makes it"
    all_present=
    continue
  fi
  dpkg-deb -x "$deb" "$unpacked/$role"
  dpkg-deb -e "$deb" "$control/$role"
  check "file list (dpkg-deb -c)" deb_file_list "$role"
  check "metadata (dpkg-deb -f)" deb_metadata "$role"
  check "Depends covers every library the binaries need" deb_depends_cover_the_binaries "$role"
  check "lintian: no errors, no warnings" deb_lintian "$role"
done

if [ -n "$all_present" ]; then
  echo "== All of them"
  check "libZolt: soname, links and the five exports" deb_library
  check "every relative link of the shipped docs resolves" deb_doc_links_resolve
  check "every man page renders without warnings" man_pages_render
  check "every status code is on its function's man page" man_pages_cover_every_status

  installing=("runtime alone" "tools without -dev" "-dev" "host with pkg-config" "examples/ in C"
              "python3-zolt" "examples/ in Python" "dpkg -r and --purge")
  if [ "$(id -u)" -ne 0 ]; then
    for name in "${installing[@]}"; do
      skip "$name" "installing the packages needs root; run as root (as CI does) to test it"
    done
  elif [ "$architecture" != "$(dpkg --print-architecture)" ]; then
    for name in "${installing[@]}"; do skip "$name" "packages of $architecture, on a $(dpkg --print-architecture) machine"; done
  else
    already=
    for role in "${roles[@]}"; do
      if dpkg-query -W "${packages[$role]}" >/dev/null 2>&1; then already="$already ${packages[$role]}"; fi
    done
    if [ -n "$already" ]; then
      failure "installed already:$already; remove them (dpkg --purge$already) and run again"
    else
      installed_here=1
      check "the runtime alone: the loader knows the soname, nothing to build with" runtime_alone
      check "the tools without -dev: console, man pages, the demo in its folder, a failed open's reason" \
        tools_without_dev
      check "-dev: man pages, pkg-config" dev_builds_hosts
      check "a host with the host guide's pkg-config line, against the installed demo slave" host_builds_with_pkg_config
      check "examples/ from the -dev package, built with find_package(Zolt) and run" examples_run ""
      check "python3-zolt: Debian's python3 imports the module, which loads the package's library" python_module_runs
      check "examples/ in Python, under Debian's python3 from a host with no PATH" examples_run python
      check "dpkg -r leaves no file of any package, dpkg --purge no record" packages_remove_cleanly
    fi
  fi
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
