# Sourced by run.sh: the .deb installed for real with dpkg, used the way the
# README and the man pages say, and removed again. Needs root. Uses $deb,
# $version, $multiarch, $work and $source_dir.

demo_folder=/usr/libexec/zolt/demo
installed_slave=$demo_folder/Datas/Morva/Brivex/Brivex

# What the README's host prints against the demo slave.
host_output='write: 0: Frame accepted: installed
notification: Frame sent: installed
close: 0: Brivex closed'

package_installed() {
  dpkg-query -W -f='${Status}' zolt 2>/dev/null | grep -q "install ok installed"
}

# The host's channel is named after its slave's stem, and names are global:
# a name of this run's own keeps it apart from any other test running now.
tagged_slave() {
  local link=$work/Installed$$
  ln -sfn "$installed_slave" "$link"
  echo "$link"
}

deb_installs() {
  dpkg -i "$deb"
  package_installed || fail "dpkg -i left zolt not installed"
  expect_same "The installed version" "$(dpkg-query -W -f='${Version}' zolt)" "$version"
  expect_same "zolt-console --version" "$(zolt-console --version)" "zolt-console $version"
  ldconfig -p | grep -q "libZolt.so.$soversion " || fail "the loader's cache does not know libZolt.so.$soversion"
}

man_pages_installed() {
  expect_same "man -w ZoltMasterOpen" "$(man -w ZoltMasterOpen)" /usr/share/man/man3/ZoltMasterOpen.3.gz
  expect_same "man -w 3 zolt" "$(man -w 3 zolt)" /usr/share/man/man3/zolt.3.gz
  expect_same "man -w zolt-console" "$(man -w zolt-console)" /usr/share/man/man1/zolt-console.1.gz
  expect_same "man -w Kwarne_Brivex" "$(man -w Kwarne_Brivex)" /usr/share/man/man1/Kwarne_Brivex.1.gz
  expect_same "man -w zolt-objects" "$(man -w zolt-objects)" /usr/share/man/man1/zolt-objects.1.gz
}

# The README's pkg-config line, against /usr: no search path to set.
host_builds_with_pkg_config() {
  local slave
  expect_same "pkg-config --modversion zolt" "$(pkg-config --modversion zolt)" "$version"
  expect_same "pkg-config --variable=libdir zolt" "$(pkg-config --variable=libdir zolt)" "/usr/lib/$multiarch"
  # The system's own folders need no flags.
  expect_same "pkg-config --cflags --libs zolt" "$(pkg-config --cflags --libs zolt | sed "s/ *$//")" "-lZolt"
  cc "$source_dir/tests/install/host/host.c" $(pkg-config --cflags --libs zolt) -o "$work/pkg-config-host"
  slave=$(tagged_slave)
  expect_same "The host built with pkg-config" "$("$work/pkg-config-host" "$slave")" "$host_output"
}

# find_package(Zolt) finds the package under /usr by itself; the README's
# slave builds against Zolt::SlaveKit and talks to the installed console.
host_builds_with_find_package() {
  local slave kit
  cmake -S "$source_dir/tests/install/host" -B "$work/cmake-host" -G Ninja \
        -DMINIMAL_SLAVE_SOURCE="$source_dir/slaves/example/minimal_slave.c" >/dev/null
  expect_same "Zolt_DIR" "$(sed -n 's/^Zolt_DIR:PATH=//p' "$work/cmake-host/CMakeCache.txt")" \
    "/usr/lib/$multiarch/cmake/Zolt"
  cmake --build "$work/cmake-host" >/dev/null
  slave=$(tagged_slave)
  expect_same "The host built with CMake" "$("$work/cmake-host/host" "$slave")" "$host_output"
  kit=$work/Kit$$
  ln -sfn "$work/cmake-host/kit_slave" "$kit"
  expect_same "zolt-console with the kit's slave" "$(printf 'there\n/wait\n' | zolt-console "$kit")" \
"open 0 (channel 0 open, slave started)
write 0 (reply received): Hello, there
notification: greeted
close 0 (reply received): Bye"
}

# Debian's python3 finds the package's module and, through it, the package's
# library; the README's host runs as written in the demo folder.
python_module_runs_the_readme_host() {
  local example
  expect_same "The module's place" "$(cd / && /usr/bin/python3 -c 'import zolt; print(zolt.__file__)')" \
    /usr/lib/python3/dist-packages/zolt/__init__.py
  expect_same "The library it loads" \
    "$(cd / && /usr/bin/python3 -c 'import os, zolt; print(os.path.realpath(zolt.load_library().path))')" \
    "/usr/lib/$multiarch/libZolt.so.$version"
  # The README's block after "This host drives the demo slave".
  example=$(awk '/^This host drives the demo slave/ { found = 1 }
                 found && /^```python$/ { inside = 1; next }
                 inside && /^```$/ { exit }
                 inside { print }' "$source_dir/README.md")
  [ -n "$example" ] || fail "no Python host example in the README"
  expect_same "The README's Python host" "$(cd "$demo_folder" && /usr/bin/python3 -c "$example")" \
"Frame accepted: ABC
notification: Frame sent: ABC
5 ZoltMasterWrite returned status 5: command refused: null, or longer than 1023 bytes (channel 0, command 'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx', 2000 bytes in utf-8)
close status 0"
}

# As Kwarne_Brivex(1) says: from the demo folder, the program on the PATH.
demo_runs_from_its_installed_place() {
  expect_same "Kwarne_Brivex on the PATH" "$(command -v Kwarne_Brivex)" /usr/bin/Kwarne_Brivex
  printf 'Load Brivex, return code=0\r\nLoad configuration, return code=0\r\nSend frame, return code=0\r\nEnd\r\n' \
    >"$work/demo-expected"
  (cd "$demo_folder" && Kwarne_Brivex) >"$work/demo-output"
  cmp "$work/demo-expected" "$work/demo-output" || fail "Kwarne_Brivex printed: $(od -c "$work/demo-output")"
}

deb_removes_cleanly() {
  local path
  dpkg -r zolt
  ! package_installed || fail "zolt is still installed"
  # Every file and link is gone, and every folder of the package's own: a
  # folder left behind is one another package holds, or one that is not empty.
  while read -r path; do
    if [ -L "/$path" ] || [ -f "/$path" ]; then
      fail "/$path is left"
    elif [ -d "/$path" ] && [ -z "$(ls -A "/$path")" ] && ! dpkg -S "/$path" >/dev/null 2>&1; then
      fail "the empty folder /$path is left"
    fi
  done < <(dpkg-deb -c "$deb" | awk '{ sub(/^\.\//, "", $6); sub(/\/$/, "", $6); if ($6 != "") print $6 }')
  # Nor the compiled files Python wrote beside the module when root imported it.
  [ ! -e /usr/lib/python3/dist-packages/zolt ] || fail "/usr/lib/python3/dist-packages/zolt is left: $(ls -A /usr/lib/python3/dist-packages/zolt)"
  ! ldconfig -p | grep -q libZolt || fail "the loader's cache still knows libZolt"
  ! man -w ZoltMasterOpen >/dev/null 2>&1 || fail "man still finds ZoltMasterOpen"
  ! pkg-config --exists zolt || fail "pkg-config still finds zolt"
  # CPack's postrm (it calls ldconfig) keeps dpkg's record until a purge;
  # with no configuration files, the purge has nothing else to remove.
  dpkg --purge zolt
  ! dpkg-query -W zolt >/dev/null 2>&1 || fail "dpkg still knows zolt after the purge"
}
