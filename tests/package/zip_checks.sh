# Sourced by run.sh: the Windows zip, checked against the Windows build whose
# tests ran before it was made. Uses $zip, $version, $work and $windows_build.

zip_top=zolt-$version-win32

expected_zip_files() {
  local file
  for file in \
      bin/Zolt.dll bin/Kwarne_Brivex.exe bin/zolt-console.exe bin/zolt-objects.exe \
      demo/Datas/Morva/Brivex/Brivex.exe demo/Kwarne.cfg \
      include/zolt.h include/zolt_protocol.h include/zolt_slave.h include/zolt_precise_sleep.h \
      lib/libZolt.dll.a lib/pkgconfig/zolt.pc \
      lib/cmake/Zolt/ZoltConfig.cmake lib/cmake/Zolt/ZoltConfigVersion.cmake \
      lib/cmake/Zolt/ZoltTargets.cmake lib/cmake/Zolt/ZoltTargets-relwithdebinfo.cmake \
      README.md LICENSE; do
    echo "$zip_top/$file"
  done
}

zip_file_list() {
  local actual expected
  actual=$(cmake -E tar tf "$zip" | grep -v '/$' | sort)
  expected=$(expected_zip_files | sort)
  expect_same_lines "The zip's files" "$actual" "$expected"
}

# The programs in the zip are byte for byte those the Windows tests ran.
zip_holds_the_tested_build() {
  local file
  mkdir -p "$work/zip"
  (cd "$work/zip" && cmake -E tar xf "$zip")
  for file in Zolt.dll Kwarne_Brivex.exe zolt-console.exe; do
    cmp "$work/zip/$zip_top/bin/$file" "$windows_build/bin/$file" ||
      fail "bin/$file differs from $windows_build/bin/$file"
  done
  cmp "$work/zip/$zip_top/demo/Datas/Morva/Brivex/Brivex.exe" "$windows_build/bin/Brivex.exe" ||
    fail "the demo slave differs from $windows_build/bin/Brivex.exe"
  [ -f "$windows_build/Testing/Temporary/LastTest.log" ] ||
    fail "the Windows tests have not run in $windows_build"
  [ "$windows_build/Testing/Temporary/LastTest.log" -nt "$windows_build/bin/Zolt.dll" ] ||
    fail "Zolt.dll was built after the Windows tests last ran"
  # The CMake package finds the DLL and its import library where the zip has them.
  grep -q '_IMPORT_PREFIX}/lib/libZolt.dll.a' "$work/zip/$zip_top/lib/cmake/Zolt/ZoltTargets-relwithdebinfo.cmake" &&
    grep -q '_IMPORT_PREFIX}/bin/Zolt.dll' "$work/zip/$zip_top/lib/cmake/Zolt/ZoltTargets-relwithdebinfo.cmake" ||
    fail "the CMake package does not point at bin/Zolt.dll and lib/libZolt.dll.a"
}
