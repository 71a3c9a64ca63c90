# Sourced by run.sh: the Windows zips, each checked against the Windows build
# whose tests ran before it was made. Every check takes the width, 32 or 64;
# uses $source_dir, $version and $work.

top_of() { echo "zolt-$version-win$1"; }
zip_of() { echo "$source_dir/build/packages/$(top_of "$1").zip"; }
build_of() {
  if [ "$1" = 64 ]; then echo "$source_dir/build/windows64"; else echo "$source_dir/build/windows"; fi
}

# Both zips hold the same files, under a top folder named after the zip.
expected_zip_files() {
  local top file
  top=$(top_of "$1")
  for file in \
      bin/Zolt.dll bin/Kwarne_Brivex.exe bin/zolt-console.exe bin/zolt-objects.exe \
      demo/Datas/Morva/Brivex/Brivex.exe demo/Kwarne.cfg \
      include/zolt.h include/zolt_protocol.h include/zolt_slave.h include/zolt_precise_sleep.h \
      lib/libZolt.dll.a lib/pkgconfig/zolt.pc \
      lib/cmake/Zolt/ZoltConfig.cmake lib/cmake/Zolt/ZoltConfigVersion.cmake \
      lib/cmake/Zolt/ZoltTargets.cmake lib/cmake/Zolt/ZoltTargets-relwithdebinfo.cmake \
      README.md CHANGELOG.md LICENSE; do
    echo "$top/$file"
  done
  # The docs the README links to, and the examples.
  (cd "$source_dir" && find docs -maxdepth 1 -name '*.md' && find examples -type f) | sed "s|^|$top/|"
}

zip_file_list() {
  local zip actual expected
  zip=$(zip_of "$1")
  actual=$(cmake -E tar tf "$zip" | grep -v '/$' | sort)
  expected=$(expected_zip_files "$1" | sort)
  expect_same_lines "The zip's files" "$actual" "$expected"
}

# Unpacks the zip once per width; echoes its top folder.
unpacked_zip() {
  local into=$work/zip$1
  if [ ! -d "$into" ]; then
    mkdir -p "$into"
    (cd "$into" && cmake -E tar xf "$(zip_of "$1")")
  fi
  echo "$into/$(top_of "$1")"
}

# The programs in the zip are byte for byte those the Windows tests ran.
zip_holds_the_tested_build() {
  local top build file
  top=$(unpacked_zip "$1")
  build=$(build_of "$1")
  for file in Zolt.dll Kwarne_Brivex.exe zolt-console.exe; do
    cmp "$top/bin/$file" "$build/bin/$file" || fail "bin/$file differs from $build/bin/$file"
  done
  cmp "$top/demo/Datas/Morva/Brivex/Brivex.exe" "$build/bin/Brivex.exe" ||
    fail "the demo slave differs from $build/bin/Brivex.exe"
  # Where the kernel runs no 32-bit programs, the test command builds the
  # 32-bit flavour without running its tests: the zip is that build's.
  if [ "$1" = 64 ] || "$source_dir/scripts/runs-i386.sh"; then
    [ -f "$build/Testing/Temporary/LastTest.log" ] || fail "the Windows tests have not run in $build"
    [ "$build/Testing/Temporary/LastTest.log" -nt "$build/bin/Zolt.dll" ] ||
      fail "Zolt.dll was built after the Windows tests last ran"
  fi
  # The CMake package finds the DLL and its import library where the zip has them.
  grep -q '_IMPORT_PREFIX}/lib/libZolt.dll.a' "$top/lib/cmake/Zolt/ZoltTargets-relwithdebinfo.cmake" &&
    grep -q '_IMPORT_PREFIX}/bin/Zolt.dll' "$top/lib/cmake/Zolt/ZoltTargets-relwithdebinfo.cmake" ||
    fail "the CMake package does not point at bin/Zolt.dll and lib/libZolt.dll.a"
}

# A host loads only a library of its own width: every program and the DLL in
# the zip are of the zip's width.
zip_programs_are_of_its_width() {
  local top expected program described
  top=$(unpacked_zip "$1")
  if [ "$1" = 64 ]; then expected='PE32\+ executable .* x86-64'; else expected='PE32 executable .* Intel 80386'; fi
  while IFS= read -r program; do
    described=$(file -b "$program")
    [[ $described =~ $expected ]] || fail "${program#"$top"/} is not of the zip's width: $described"
  done < <(find "$top" -name '*.exe' -o -name '*.dll')
}
