# Sourced by run.sh: checks of the Debian packages as files, before they are
# installed. Uses $version, $soversion, $multiarch, $architecture, $packages
# (role -> name), $unpacked (each package's files, extracted under its name)
# and $control (each one's control files, likewise).

deb_of() { echo "$source_dir/build/packages/${packages[$1]}_${version}_$architecture.deb"; }

# Every file and link each package holds, and nothing else.
expected_deb_files() {
  local role=$1 lib=usr/lib/$multiarch name=${packages[$1]} page file
  echo "usr/share/doc/$name/copyright"
  echo "usr/share/doc/$name/changelog.gz"
  case "$role" in
    runtime)
      printf '%s\n' "$lib/libZolt.so.$soversion" "$lib/libZolt.so.$version" ;;
    dev)
      printf '%s\n' \
        usr/include/zolt.h usr/include/zolt_protocol.h usr/include/zolt_slave.h usr/include/zolt_precise_sleep.h \
        "$lib/libZolt.so" \
        "$lib/cmake/Zolt/ZoltConfig.cmake" "$lib/cmake/Zolt/ZoltConfigVersion.cmake" \
        "$lib/cmake/Zolt/ZoltTargets.cmake" "$lib/cmake/Zolt/ZoltTargets-release.cmake" \
        "$lib/pkgconfig/zolt.pc" \
        "usr/share/doc/$name/README.md" "usr/share/doc/$name/CHANGELOG.md"
      (cd "$source_dir" && find docs -maxdepth 1 -name '*.md' && find examples -type f) |
        sed "s|^|usr/share/doc/$name/|" ;;
    tools)
      printf '%s\n' usr/bin/zolt-console usr/bin/zolt-objects \
        usr/libexec/zolt/demo/Kwarne_Brivex usr/libexec/zolt/demo/Datas/Morva/Brivex/Brivex \
        usr/libexec/zolt/demo/Kwarne.cfg ;;
    python)
      for file in "$source_dir"/python/zolt/*.py "$source_dir"/python/zolt/py.typed installed_library.py; do
        echo "usr/lib/python3/dist-packages/zolt/${file##*/}"
      done ;;
  esac
  for page in "${man_pages[@]}"; do
    case "$role:${page##*.}" in
      dev:3 | tools:1) echo "usr/share/man/man${page##*.}/$page.gz" ;;
    esac
  done
}

deb_file_list() {
  # dpkg-deb -c: mode, owner, size, date, time, ./path [-> target]
  local listing actual expected
  listing=$(dpkg-deb -c "$(deb_of "$1")")
  actual=$(awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' <<<"$listing" | sort)
  expected=$(expected_deb_files "$1" | sort)
  expect_same_lines "The files of ${packages[$1]}" "$actual" "$expected"
  # Owned by root, writable by the owner only.
  ! awk '$2 != "root/root" || ($1 !~ /^l/ && $1 ~ /^.....w|^........w/)' <<<"$listing" | grep . ||
    fail "entries not owned by root, or writable by others (above)"
}

deb_metadata() {
  local role=$1 deb field
  deb=$(deb_of "$role")
  expect_same "Package" "$(dpkg-deb -f "$deb" Package)" "${packages[$role]}"
  expect_same "Version" "$(dpkg-deb -f "$deb" Version)" "$version"
  expect_same "Architecture" "$(dpkg-deb -f "$deb" Architecture)" "$architecture"
  dpkg-deb -f "$deb" Maintainer | grep -Eq '^[^<]+ <[^@ ]+@[^@> ]+\.[^@> ]+>$' ||
    fail "Maintainer is not 'Name <address>': $(dpkg-deb -f "$deb" Maintainer)"
  for field in Section Priority Installed-Size; do
    [ -n "$(dpkg-deb -f "$deb" "$field")" ] || fail "no $field field"
  done
  # A synopsis line and an extended description under it.
  [ "$(dpkg-deb -f "$deb" Description | wc -l)" -ge 3 ] || fail "the description has no extended part"
  case "$role" in
    runtime)
      # The library's shlibs entry, for the packages of hosts that link to
      # it, and the trigger that refreshes the loader's cache.
      expect_same "shlibs" "$(cat "$control/$role/shlibs")" \
        "libZolt $soversion ${packages[runtime]} (>= $version)"
      grep -qx 'activate-noawait ldconfig' "$control/$role/triggers" || fail "no ldconfig trigger" ;;
    python)
      [ -x "$control/$role/prerm" ] || fail "no prerm, which removes the Python module's compiled files" ;;
  esac
  # Every package but the runtime needs the runtime of exactly this version.
  if [ "$role" != runtime ]; then
    grep -Fq "${packages[runtime]} (= $version)" <<<"$(dpkg-deb -f "$deb" Depends)" ||
      fail "Depends does not name ${packages[runtime]} (= $version): $(dpkg-deb -f "$deb" Depends)"
  fi
}

# Depends comes from the binaries: every library any of them needs, other
# than Zolt itself, belongs to a package that Depends names.
deb_depends_cover_the_binaries() {
  local deb depends depended needed file soname owners covered owner
  deb=$(deb_of "$1")
  depends=$(dpkg-deb -f "$deb" Depends)
  depended=$(sed 's/([^)]*)//g; s/|/,/g' <<<"$depends" | tr ',' '\n' | tr -d ' ')
  needed=$(find "$unpacked/$1" -type f -exec sh -c 'file -b "$1" | grep -q "^ELF"' _ {} \; -print |
           while read -r file; do readelf -d "$file" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p'; done |
           sort -u)
  for soname in $needed; do
    case "$soname" in libZolt.so*) continue ;; esac
    # A cross-built package's libraries are those of Debian's cross packages
    # here (libc6-arm64-cross), which are libc6 and so on on their own
    # architecture.
    owners=$(dpkg -S "*/$soname" 2>/dev/null | cut -d: -f1 | tr ',' '\n' | tr -d ' ' |
             sed "s/-$architecture-cross\$//" | sort -u)
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
  local library=$unpacked/runtime/usr/lib/$multiarch/libZolt.so.$version exports
  readelf -d "$library" | grep -q "Library soname: \[libZolt.so.$soversion\]" ||
    fail "libZolt's soname is not libZolt.so.$soversion"
  exports=$(nm -D --defined-only "$library" | awk '{ print $3 }' | sort | tr '\n' ' ')
  expect_same "The exported functions" "$exports" \
    "ZoltMasterClose ZoltMasterEvent ZoltMasterOpen ZoltMasterRead ZoltMasterWrite "
  expect_same "The soname link" "$(readlink "$unpacked/runtime/usr/lib/$multiarch/libZolt.so.$soversion")" \
    "libZolt.so.$version"
  expect_same "The link for linking (-dev)" "$(readlink "$unpacked/dev/usr/lib/$multiarch/libZolt.so")" \
    "libZolt.so.$soversion"
  # lintian decides whether a library package is named after its soname.
  expect_same "The runtime package's name" "${packages[runtime]}" "libzolt$soversion"
}

# Not an error nor a warning, on every package.
deb_lintian() {
  local report
  command -v lintian >/dev/null || fail "lintian is not installed: scripts/install-tools.sh installs it"
  report=$(lintian --tag-display-limit 0 "$(deb_of "$1")" 2>&1 | grep -v 'running with root privileges') || true
  if grep -q '^[EW]:' <<<"$report"; then
    echo "$report"
    fail "lintian reports errors or warnings"
  fi
  if [ -n "$report" ]; then sed 's/^/note: /' <<<"$report"; fi
}

# The docs travel with -dev: every relative link of its Markdown files leads
# to a file or folder it ships.
deb_doc_links_resolve() {
  local doc=$unpacked/dev/usr/share/doc/${packages[dev]} file target link
  while read -r file; do
    while read -r link; do
      target=${link%%#*}
      [ -n "$target" ] || continue
      [ -e "$(dirname "$file")/$target" ] || fail "${file#"$doc"/} links to $target, which the package lacks"
    done < <(grep -o '](\([^)]*\))' "$file" | sed 's/^](//; s/)$//' | grep -v '^[a-z]*:')
  done < <(find "$doc" -name '*.md')
}

# Every page renders without a warning, the way lintian renders them, and
# has the sections its kind needs.
man_pages_render() {
  local page file warnings sections needed
  for page in "${man_pages[@]}"; do
    file=$(echo "$unpacked"/*/usr/share/man/man"${page##*.}"/"$page".gz)
    [ -f "$file" ] || fail "no package holds the man page $page"
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
  local header=$unpacked/dev/usr/include/zolt.h man3=$unpacked/dev/usr/share/man/man3 function constant text
  # "/* ZoltMasterWrite and ZoltMasterClose */" starts a group of constants.
  local groups
  groups=$(awk '
    /^ *\/\* ZoltMaster/ { functions = ""; for (i = 2; i <= NF; i++) if ($i ~ /^ZoltMaster/) functions = functions " " $i }
    /^ *ZOLT_[A-Z_]+ = [0-9]/ && functions != "" { sub(/ =.*/, ""); gsub(/ /, ""); print functions ":" $0 }
  ' "$header")
  [ "$(wc -l <<<"$groups")" -ge 12 ] || fail "could not read the status codes from zolt.h: $groups"
  while IFS=: read -r functions constant; do
    for function in $functions; do
      text=$(zcat "$man3/$function.3.gz")
      grep -q "$constant" <<<"$text" || fail "$function(3) does not explain $constant"
    done
    zcat "$man3/zolt.3.gz" | grep -q "$constant" || fail "zolt(3) does not name $constant"
  done <<<"$groups"
}
