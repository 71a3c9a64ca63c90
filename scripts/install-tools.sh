#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks, asking apt only when something
# is missing:
#   scripts/install-tools.sh demo   the Linux build of the demo: a compiler,
#                                   CMake and Ninja, nothing else
#   scripts/install-tools.sh test   everything the test command uses (the
#                                   default): GoogleTest, the sanitizers' and
#                                   fuzzers' clang, valgrind, Python's tools,
#                                   the cross compilers for Windows and arm64,
#                                   Wine and qemu, and the packaging tools
# It copes with a mirror caught mid-sync: an index that fails to download is
# reported and the rest used; an install that fails on a version skew between
# suites is tried again pinned to the release.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
kind=${1:-test}

demo_packages=(cmake ninja-build g++)
test_packages=("${demo_packages[@]}" binutils libgtest-dev libgmock-dev googletest
  libbenchmark-dev pkg-config libedit-dev
  # libFuzzer (clang's runtime) and memcheck, for the robustness steps
  clang libclang-rt-14-dev valgrind
  # the Python package: its tests, and an offline pip install
  python3-pytest python3-setuptools python3-pip python3-venv
  # the Windows flavours: mingw-w64 of both widths, and Wine to run them
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine64
  # the arm64 flavour: the cross compiler, and qemu-user to run it
  g++-aarch64-linux-gnu qemu-user-static binfmt-support
  # the packages: man pages from scdoc, CPack's .deb (dpkg-shlibdeps, file),
  # and the package test (lintian, man)
  scdoc dpkg-dev file lintian man-db)

case "$kind" in
  demo) packages=("${demo_packages[@]}") ;;
  test)
    packages=("${test_packages[@]}")
    # 32-bit Windows programs run under Wine's 32-bit loader, an i386 program;
    # a kernel without 32-bit support could not start it, so it is not
    # installed there (the test command then says which tests it skips).
    if "$here/runs-i386.sh"; then packages+=(wine32:i386); fi
    # The .NET SDK, where a machine has it, will not start without ICU;
    # libicu-dev is the one name for it that every release has.
    if command -v dotnet >/dev/null && [ -z "$(/sbin/ldconfig -p | grep 'libicuuc\.so\.' || true)" ]; then
      packages+=(libicu-dev)
    fi ;;
  *) echo "usage: scripts/install-tools.sh [demo|test]" >&2; exit 2 ;;
esac

say() { echo "install-tools: $*"; }

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
if [ "${#missing[@]}" -eq 0 ]; then
  say "all ${#packages[@]} tools for '$kind' are installed"
  exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    say "these packages are missing and installing them needs root: ${missing[*]}"
    say "run this script as root, or install sudo, or install them by hand with apt-get"
    exit 1
  fi
  as_root=(sudo)
fi

log=$(mktemp /tmp/zolt-install-tools.XXXXXX.log)
added_i386=
for package in "${missing[@]}"; do
  if [[ $package == *:i386 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${as_root[@]}" dpkg --add-architecture i386
    added_i386=1
  fi
done

say "reading the package lists"
if ! "${as_root[@]}" apt-get update -q >"$log" 2>&1 || grep -q '^E: ' "$log"; then
  # A mirror in mid-sync serves some indexes with the wrong size: apt keeps the
  # old ones (or none) for those, which is enough unless a package is only
  # there. The install below says so if it is.
  grep '^E: Failed to fetch' "$log" | sed 's/^E: /install-tools: warning: /' || true
  say "warning: some package lists could not be read; going on with the rest"
fi

release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
recommends=()
[ "$kind" = demo ] && recommends=(--no-install-recommends)
# Shows one line per package set up, so a long install is not minutes of
# silence; apt's whole output goes to the log.
install() {
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q \
    -o Dpkg::Progress-Fancy=0 "${recommends[@]}" "$@" 2>&1 | tee -a "$log" |
    { grep --line-buffered '^Setting up ' | sed -u 's/^Setting up \([^ ]*\).*/install-tools:   \1/'; true; }
}
can_install() {
  "${as_root[@]}" apt-get install -s -q "${recommends[@]}" "$@" >>"$log" 2>&1
}

say "installing ${#missing[@]} packages for '$kind': ${missing[*]}"
installed=0
if install "${missing[@]}"; then
  installed=1
elif [ -n "$release" ]; then
  # Typically the security suite has a newer amd64 library whose i386 twin is
  # only in the release: pinned to the release, both come from one place.
  say "the install failed as a whole; trying again with the release '$release' preferred"
  install -t "$release" "${missing[@]}" && installed=1
fi

if [ "$installed" = 0 ]; then
  # Name the packages that cannot be had, one by one, so the message says
  # which and not merely that something failed.
  unavailable=()
  for package in "${missing[@]}"; do
    can_install "$package" || can_install -t "$release" "$package" || unavailable+=("$package")
  done
  if [ -n "$added_i386" ] && ! dpkg-query -W -f='${Architecture}\n' 2>/dev/null | grep -qx i386; then
    # Left behind, an i386 architecture with a broken index would fail every
    # later 'apt-get update' on this machine.
    "${as_root[@]}" dpkg --remove-architecture i386 || true
  fi
  grep -E '^(E|W): ' "$log" | tail -n 8 | sed 's/^/install-tools:   /' || true
  if [ "${#unavailable[@]}" -gt 0 ]; then
    say "could not install ${unavailable[*]}: the mirror may be in mid-sync; run the command again later, or install them by hand with 'apt-get install -t $release ${unavailable[*]}'"
  else
    say "could not install ${missing[*]} together (the full log is $log); try 'apt-get update' and the command again later"
  fi
  exit 1
fi
say "done"
rm -f "$log"
