# Sourced by run.sh: the Debian packages installed for real with dpkg, in
# the order a user would add them, used the way the README and the man
# pages say, and removed again. Needs root. Uses $packages, $version,
# $soversion, $multiarch, $work and $source_dir.

demo_folder=/usr/libexec/zolt/demo
installed_slave=$demo_folder/Datas/Morva/Brivex/Brivex

# What the install test's host prints against the demo slave.
host_output='write: 0: Frame accepted: installed
notification: Frame sent: installed
close: 0: Brivex closed'

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

# The host's channel is named after its slave's stem, and names are global:
# a name of this run's own keeps it apart from any other test running now.
tagged_slave() {
  local link=$work/Installed$$
  ln -sfn "$installed_slave" "$link"
  echo "$link"
}

install_package() {
  dpkg -i "$(deb_of "$1")"
  installed "${packages[$1]}" || fail "dpkg -i left ${packages[$1]} not installed"
  expect_same "The installed version" "$(dpkg-query -W -f='${Version}' "${packages[$1]}")" "$version"
}

# The library alone: known to the loader by its soname, and nothing for
# building against it.
runtime_alone() {
  install_package runtime
  ldconfig -p | grep -q "libZolt.so.$soversion " || fail "the loader's cache does not know libZolt.so.$soversion"
  [ ! -e "/usr/lib/$multiarch/libZolt.so" ] || fail "libZolt.so, the link for linking, came with the runtime"
  [ ! -e /usr/include/zolt.h ] || fail "zolt.h came with the runtime"
}

# The tools need the runtime only: they load the library by its soname.
tools_without_dev() {
  install_package tools
  ! installed "${packages[dev]}" || fail "${packages[dev]} is installed: this check is meant without it"
  expect_same "zolt-console --version" "$(zolt-console --version)" "zolt-console $version"
  expect_same "man -w zolt-console" "$(man -w zolt-console)" /usr/share/man/man1/zolt-console.1.gz
  expect_same "man -w zolt-objects" "$(man -w zolt-objects)" /usr/share/man/man1/zolt-objects.1.gz
  expect_same "man -w Kwarne_Brivex" "$(man -w Kwarne_Brivex)" /usr/share/man/man1/Kwarne_Brivex.1.gz
  # The demo stays out of the PATH, and runs in its folder as Kwarne_Brivex(1) says.
  ! command -v Kwarne_Brivex >/dev/null || fail "Kwarne_Brivex is on the PATH: $(command -v Kwarne_Brivex)"
  printf 'Load Brivex, return code=0\r\nLoad configuration, return code=0\r\nSend frame, return code=0\r\nEnd\r\n' \
    >"$work/demo-expected"
  (cd "$demo_folder" && ./Kwarne_Brivex) >"$work/demo-output"
  cmp "$work/demo-expected" "$work/demo-output" || fail "Kwarne_Brivex printed: $(od -c "$work/demo-output")"
  # The system's reason for a failed open.
  local errors
  errors=$(zolt-console "$work/Missing$$" </dev/null 2>&1 >/dev/null) && fail "zolt-console opened a missing slave"
  grep -q "status 3, starting the slave failed, or unusable path: No such file or directory." <<<"$errors" ||
    fail "zolt-console said: $errors"
}

dev_builds_hosts() {
  install_package dev
  expect_same "man -w ZoltMasterOpen" "$(man -w ZoltMasterOpen)" /usr/share/man/man3/ZoltMasterOpen.3.gz
  expect_same "man -w 3 zolt" "$(man -w 3 zolt)" /usr/share/man/man3/zolt.3.gz
  expect_same "pkg-config --modversion zolt" "$(pkg-config --modversion zolt)" "$version"
  expect_same "pkg-config --variable=libdir zolt" "$(pkg-config --variable=libdir zolt)" "/usr/lib/$multiarch"
  # The system's own folders need no flags.
  expect_same "pkg-config --cflags --libs zolt" "$(pkg-config --cflags --libs zolt | sed "s/ *$//")" "-lZolt"
}

# The host guide's pkg-config line, against /usr: no search path to set.
host_builds_with_pkg_config() {
  local slave
  cc "$source_dir/tests/install/host/host.c" $(pkg-config --cflags --libs zolt) -o "$work/pkg-config-host"
  slave=$(tagged_slave)
  expect_same "The host built with pkg-config" "$("$work/pkg-config-host" "$slave")" "$host_output"
}

# examples/, as shipped in the -dev package's doc folder, against /usr.
examples_run() {
  cmake -DWORK_DIR="$work/examples-$1" -DSOURCE_DIR="/usr/share/doc/${packages[dev]}" -DGENERATOR=Ninja \
        ${1:+-DPYTHON=/usr/bin/python3} -P "$source_dir/tests/examples/run_examples.cmake"
}

# Debian's python3 finds the package's module and, through it, the
# package's library; the Python guide's host runs as written in the demo folder.
python_module_runs() {
  local example
  install_package python
  expect_same "The module's place" "$(cd / && /usr/bin/python3 -c 'import zolt; print(zolt.__file__)')" \
    /usr/lib/python3/dist-packages/zolt/__init__.py
  expect_same "The library it loads" \
    "$(cd / && /usr/bin/python3 -c 'import os, zolt; print(os.path.realpath(zolt.load_library().path))')" \
    "/usr/lib/$multiarch/libZolt.so.$version"
  example=$(awk '/^This host drives the demo slave/ { found = 1 }
                 found && /^```python$/ { inside = 1; next }
                 inside && /^```$/ { exit }
                 inside { print }' "$source_dir/docs/python.md")
  [ -n "$example" ] || fail "no Python host example in docs/python.md"
  expect_same "The Python guide's host" "$(cd "$demo_folder" && /usr/bin/python3 -c "$example")" \
"Frame accepted: ABC
notification: Frame sent: ABC
5 ZoltMasterWrite returned status 5: command refused: null, or longer than 1023 bytes (channel 0, command 'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx', 2000 bytes in utf-8)
close status 0"
}

packages_remove_cleanly() {
  local role path name
  local order=(python tools dev runtime)
  for role in "${order[@]}"; do dpkg -r "${packages[$role]}"; done
  for role in "${order[@]}"; do
    name=${packages[$role]}
    ! installed "$name" || fail "$name is still installed"
    # Every file and link is gone, and every folder of the package's own: a
    # folder left behind is one another package holds, or one that is not empty.
    while read -r path; do
      if [ -L "/$path" ] || [ -f "/$path" ]; then
        fail "/$path is left"
      elif [ -d "/$path" ] && [ -z "$(ls -A "/$path")" ] && ! dpkg -S "/$path" >/dev/null 2>&1; then
        fail "the empty folder /$path is left"
      fi
    done < <(dpkg-deb -c "$(deb_of "$role")" | awk '{ sub(/^\.\//, "", $6); sub(/\/$/, "", $6); if ($6 != "") print $6 }')
  done
  # Nor the compiled files Python wrote beside the module when root imported it.
  [ ! -e /usr/lib/python3/dist-packages/zolt ] || fail "/usr/lib/python3/dist-packages/zolt is left: $(ls -A /usr/lib/python3/dist-packages/zolt)"
  ! ldconfig -p | grep -q libZolt || fail "the loader's cache still knows libZolt"
  ! man -w ZoltMasterOpen >/dev/null 2>&1 || fail "man still finds ZoltMasterOpen"
  ! pkg-config --exists zolt || fail "pkg-config still finds zolt"
  for role in "${order[@]}"; do dpkg --purge "${packages[$role]}"; done
  for role in "${order[@]}"; do
    ! dpkg-query -W "${packages[$role]}" >/dev/null 2>&1 || fail "dpkg still knows ${packages[$role]} after the purge"
  done
}
