# Sourced by run.sh: checks of the .deb as a file, before it is installed.
# Uses $deb, $deb_architecture, $version, $soversion, $multiarch, $unpacked
# (the .deb's files, extracted) and $control (its control files).

# Every file and link the package holds, and nothing else.
expected_deb_files() {
  local lib=usr/lib/$multiarch page
  printf '%s\n' \
    usr/bin/Kwarne_Brivex usr/bin/zolt-console usr/bin/zolt-objects \
    usr/include/zolt.h usr/include/zolt_protocol.h usr/include/zolt_slave.h usr/include/zolt_precise_sleep.h \
    "$lib/libZolt.so" "$lib/libZolt.so.$soversion" "$lib/libZolt.so.$version" \
    "$lib/cmake/Zolt/ZoltConfig.cmake" "$lib/cmake/Zolt/ZoltConfigVersion.cmake" \
    "$lib/cmake/Zolt/ZoltTargets.cmake" "$lib/cmake/Zolt/ZoltTargets-release.cmake" \
    "$lib/pkgconfig/zolt.pc" \
    usr/libexec/zolt/demo/Datas/Morva/Brivex/Brivex usr/libexec/zolt/demo/Kwarne.cfg \
    usr/share/doc/zolt/README.md usr/share/doc/zolt/copyright usr/share/doc/zolt/changelog.gz
  for module in "$source_dir"/python/zolt/*.py "$source_dir"/python/zolt/py.typed installed_library.py; do
    echo "usr/lib/python3/dist-packages/zolt/${module##*/}"
  done
  for page in "${man_pages[@]}"; do
    echo "usr/share/man/man${page##*.}/$page.gz"
  done
}

deb_file_list() {
  # dpkg-deb -c: mode, owner, size, date, time, ./path [-> target]
  local listing actual expected
  listing=$(dpkg-deb -c "$deb")
  actual=$(awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' <<<"$listing" | sort)
  expected=$(expected_deb_files | sort)
  expect_same_lines "The .deb's files" "$actual" "$expected"
  # Owned by root, writable by the owner only.
  ! awk '$2 != "root/root" || ($1 !~ /^l/ && $1 ~ /^.....w|^........w/)' <<<"$listing" | grep . ||
    fail "entries not owned by root, or writable by others (above)"
}

deb_metadata() {
  local field
  expect_same "Package" "$(dpkg-deb -f "$deb" Package)" zolt
  expect_same "Version" "$(dpkg-deb -f "$deb" Version)" "$version"
  expect_same "Architecture" "$(dpkg-deb -f "$deb" Architecture)" "$deb_architecture"
  dpkg-deb -f "$deb" Maintainer | grep -Eq '^[^<]+ <[^@ ]+@[^@> ]+\.[^@> ]+>$' ||
    fail "Maintainer is not 'Name <address>': $(dpkg-deb -f "$deb" Maintainer)"
  for field in Section Priority Installed-Size; do
    [ -n "$(dpkg-deb -f "$deb" "$field")" ] || fail "no $field field"
  done
  # A synopsis line and an extended description under it.
  [ "$(dpkg-deb -f "$deb" Description | wc -l)" -ge 3 ] || fail "the description has no extended part"
  # The library's shlibs entry, for the packages of hosts that link to it,
  # and the trigger that refreshes the loader's cache.
  expect_same "shlibs" "$(cat "$control/shlibs")" "libZolt $soversion zolt (= $version)"
  grep -qx 'activate-noawait ldconfig' "$control/triggers" || fail "no ldconfig trigger"
  [ -x "$control/prerm" ] || fail "no prerm, which removes the Python module's compiled files"
}

# Depends comes from the binaries: every library any of them needs, other
# than Zolt itself, belongs to a package that Depends names.
deb_depends_cover_the_binaries() {
  local depends depended needed file soname owners covered owner
  depends=$(dpkg-deb -f "$deb" Depends)
  [ -n "$depends" ] || fail "no Depends field"
  # The package names alone, one a line: "a (>= 1), b | c" gives a, b, c.
  depended=$(sed 's/([^)]*)//g; s/|/,/g' <<<"$depends" | tr ',' '\n' | tr -d ' ')
  needed=$(find "$unpacked" -type f -exec sh -c 'file -b "$1" | grep -q "^ELF"' _ {} \; -print |
           while read -r file; do readelf -d "$file" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p'; done |
           sort -u)
  for soname in $needed; do
    case "$soname" in libZolt.so*) continue ;; esac
    # A cross-built package's libraries are those of Debian's cross packages
    # here (libc6-arm64-cross), which are libc6 and so on on their own
    # architecture.
    owners=$(dpkg -S "*/$soname" 2>/dev/null | cut -d: -f1 | tr ',' '\n' | tr -d ' ' |
             sed "s/-$deb_architecture-cross\$//" | sort -u)
    [ -n "$owners" ] || fail "no installed package holds $soname"
    covered=
    for owner in $owners; do
      grep -Fqx "$owner" <<<"$depended" && covered=1
    done
    [ -n "$covered" ] || fail "$soname (of $(tr '\n' ' ' <<<"$owners")) is needed but Depends is: $depends"
  done
  echo "note: Depends: $depends"
}

deb_library() {
  local library=$unpacked/usr/lib/$multiarch/libZolt.so.$version exports
  readelf -d "$library" | grep -q "Library soname: \[libZolt.so.$soversion\]" ||
    fail "libZolt's soname is not libZolt.so.$soversion"
  exports=$(nm -D --defined-only "$library" | awk '{ print $3 }' | sort | tr '\n' ' ')
  expect_same "The exported functions" "$exports" \
    "ZoltMasterClose ZoltMasterEvent ZoltMasterOpen ZoltMasterRead ZoltMasterWrite "
  expect_same "The library link" "$(readlink "$unpacked/usr/lib/$multiarch/libZolt.so")" "libZolt.so.$soversion"
}

deb_lintian() {
  local report
  command -v lintian >/dev/null || fail "lintian is not installed: scripts/install-tools.sh installs it"
  report=$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v 'running with root privileges') || true
  if grep -q '^E:' <<<"$report"; then
    echo "$report"
    fail "lintian reports errors"
  fi
  if [ -n "$report" ]; then sed 's/^/note: /' <<<"$report"; fi
}

# Every page renders without a warning, the way lintian renders them, and
# has the sections its kind needs.
man_pages_render() {
  local page file warnings sections needed
  for page in "${man_pages[@]}"; do
    file=$unpacked/usr/share/man/man${page##*.}/$page.gz
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$file" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$(printf '%s renders with warnings:\n%s' "$page" "$warnings")"
    sections=$(zcat "$file" | sed -n 's/^\.SH "\{0,1\}\([^"]*\)"\{0,1\}$/\1/p')
    needed=("NAME" "SYNOPSIS" "DESCRIPTION" "EXAMPLES" "SEE ALSO")
    case "$page" in
      zolt.3) needed+=("STATUS CODES" "THREADS" "THE SLAVE CONTRACT") ;;
      *.3) needed+=("RETURN VALUE" "THREADS") ;;
      *.1) needed+=("EXIT STATUS") ;;
    esac
    for section in "${needed[@]}"; do
      grep -qx "$section" <<<"$sections" || fail "$page has no $section section"
    done
  done
}

# Every status code zolt.h declares for a function is explained on the
# function's page, and named on zolt(3).
man_pages_cover_every_status() {
  local header=$unpacked/usr/include/zolt.h function constant text
  # "/* ZoltMasterWrite and ZoltMasterClose */" starts a group of constants.
  local groups
  groups=$(awk '
    /^ *\/\* ZoltMaster/ { functions = ""; for (i = 2; i <= NF; i++) if ($i ~ /^ZoltMaster/) functions = functions " " $i }
    /^ *ZOLT_[A-Z_]+ = [0-9]/ && functions != "" { sub(/ =.*/, ""); gsub(/ /, ""); print functions ":" $0 }
  ' "$header")
  [ "$(wc -l <<<"$groups")" -ge 12 ] || fail "could not read the status codes from zolt.h: $groups"
  while IFS=: read -r functions constant; do
    for function in $functions; do
      text=$(zcat "$unpacked/usr/share/man/man3/$function.3.gz")
      grep -q "$constant" <<<"$text" || fail "$function(3) does not explain $constant"
    done
    zcat "$unpacked/usr/share/man/man3/zolt.3.gz" | grep -q "$constant" || fail "zolt(3) does not name $constant"
  done <<<"$groups"
}
