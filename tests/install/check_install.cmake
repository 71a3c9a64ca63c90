# Run by CTest: see CMakeLists.txt beside this file.
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/../run_command.cmake)

function(expect_output what actual expected)
  if(NOT actual STREQUAL expected)
    message(FATAL_ERROR "${what} printed:\n${actual}\nexpected:\n${expected}")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
# The hosts find nothing but what the install gave them.
unset(ENV{LD_LIBRARY_PATH})
unset(ENV{CMAKE_PREFIX_PATH})

run(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(file
    ${INCLUDEDIR}/zolt.h ${INCLUDEDIR}/zolt_protocol.h ${INCLUDEDIR}/zolt_slave.h ${INCLUDEDIR}/zolt_precise_sleep.h
    ${LIBDIR}/libZolt.so ${LIBDIR}/cmake/Zolt/ZoltConfig.cmake ${LIBDIR}/pkgconfig/zolt.pc
    ${BINDIR}/zolt-console ${LIBEXECDIR}/zolt/demo/Kwarne_Brivex
    ${LIBEXECDIR}/zolt/demo/Datas/Morva/Brivex/Brivex ${LIBEXECDIR}/zolt/demo/Kwarne.cfg)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "Not installed: ${file}")
  endif()
endforeach()

# The demo slave under a name of this run's own: mailbox names are global.
string(RANDOM LENGTH 8 ALPHABET abcdefghijklmnopqrstuvwxyz tag)
set(demo_slave ${WORK_DIR}/Installed${tag})
file(CREATE_LINK ${prefix}/${LIBEXECDIR}/zolt/demo/Datas/Morva/Brivex/Brivex ${demo_slave} SYMBOLIC)
set(host_output
"write: 0: Frame accepted: installed
notification: Frame sent: installed
close: 0: Brivex closed
")

# With CMake: find_package(Zolt), Zolt::Zolt for the host, Zolt::SlaveKit
# for the README's slave.
run(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/install/host -B ${WORK_DIR}/cmake-host -G ${GENERATOR}
            -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_PREFIX_PATH=${prefix}
            -DMINIMAL_SLAVE_SOURCE=${SOURCE_DIR}/slaves/example/minimal_slave.c)
run(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-host)
run(COMMAND ${WORK_DIR}/cmake-host/host ${demo_slave} OUTPUT output)
expect_output("The host built with CMake" "${output}" "${host_output}")

# With pkg-config.
if(NOT PKG_CONFIG)
  message(FATAL_ERROR "pkg-config is not installed: scripts/install-tools.sh installs it")
endif()
set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
run(COMMAND ${PKG_CONFIG} --cflags --libs zolt OUTPUT flags)
run(COMMAND ${PKG_CONFIG} --variable=libdir zolt OUTPUT libdir)
string(STRIP "${flags}" flags)
string(STRIP "${libdir}" libdir)
separate_arguments(flags UNIX_COMMAND "${flags}")
run(COMMAND ${C_COMPILER} ${SOURCE_DIR}/tests/install/host/host.c ${flags} -Wl,-rpath,${libdir}
            -o ${WORK_DIR}/pkg-config-host)
run(COMMAND ${WORK_DIR}/pkg-config-host ${demo_slave} OUTPUT output)
expect_output("The host built with pkg-config" "${output}" "${host_output}")

# The build lines of zolt(3) and of the host guide, run as written, in a folder
# holding my_host.c (the guide's export of PKG_CONFIG_PATH is the one above).
file(COPY_FILE ${SOURCE_DIR}/tests/install/host/host.c ${WORK_DIR}/my_host.c)
foreach(document docs/man/zolt.3.scd docs/host-guide.md)
  file(READ ${SOURCE_DIR}/${document} text)
  string(REGEX MATCH "cc my_host\\.c [^\n]*\n[^\n]* -o my_host\n" line "${text}")
  if(NOT line)
    message(FATAL_ERROR "${document} has no two-line build line 'cc my_host.c ... -o my_host'")
  endif()
  # scdoc's escaped backslash.
  string(REPLACE "\\\\" "\\" line "${line}")
  file(REMOVE ${WORK_DIR}/my_host)
  run(COMMAND sh -c "${line}")
  run(COMMAND ${WORK_DIR}/my_host ${demo_slave} OUTPUT output)
  expect_output("The host built by the line of ${document}" "${output}" "${host_output}")
endforeach()

# The installed programs find the installed library.
file(WRITE ${WORK_DIR}/commands "there\n/wait\n")
file(CREATE_LINK ${WORK_DIR}/cmake-host/kit_slave ${WORK_DIR}/Kit${tag} SYMBOLIC)
run(COMMAND ${prefix}/${BINDIR}/zolt-console ${WORK_DIR}/Kit${tag} INPUT_FILE ${WORK_DIR}/commands OUTPUT output)
expect_output("zolt-console with the installed kit's slave" "${output}"
"open 0 (channel 0 open, slave started)
write 0 (reply received): Hello, there
notification: greeted
close 0 (reply received): Bye
")
# In the installed demo folder, the demo runs through.
run(COMMAND ${prefix}/${LIBEXECDIR}/zolt/demo/Kwarne_Brivex WORKING_DIRECTORY ${prefix}/${LIBEXECDIR}/zolt/demo OUTPUT output)
string(REPLACE "\r" "" output "${output}")
expect_output("Kwarne_Brivex in the demo folder" "${output}"
"Load Brivex, return code=0
Load configuration, return code=0
Send frame, return code=0
End
")
file(MAKE_DIRECTORY ${WORK_DIR}/empty)
# No slave in that folder: every status is 3, rather than "Error: no DLL".
run(COMMAND ${prefix}/${LIBEXECDIR}/zolt/demo/Kwarne_Brivex WORKING_DIRECTORY ${WORK_DIR}/empty OUTPUT output)
string(REPLACE "\r" "" output "${output}")
expect_output("Kwarne_Brivex" "${output}"
"Load Brivex, return code=3
Load configuration, return code=3
Send frame, return code=3
End
")

# The Python module finds the library installed beside it, under any prefix.
find_program(python3 NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
set(ENV{PYTHONPATH} ${prefix}/${PYTHONDIR})
run(COMMAND ${python3} -c "import os, zolt\nprint(os.path.realpath(zolt.load_library().path))" OUTPUT output)
file(REAL_PATH ${prefix}/${LIBDIR}/libZolt.so library)
expect_output("The installed Python module's library" "${output}" "${library}\n")
unset(ENV{PYTHONPATH})

# The build tree is a CMake package too: the host builds against the
# library just built and runs with it.
run(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/install/host -B ${WORK_DIR}/build-tree-host -G ${GENERATOR}
            -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_PREFIX_PATH=${BUILD_DIR}/library
            -DMINIMAL_SLAVE_SOURCE=${SOURCE_DIR}/slaves/example/minimal_slave.c)
file(STRINGS ${WORK_DIR}/build-tree-host/CMakeCache.txt zolt_dir REGEX "^Zolt_DIR:")
if(NOT zolt_dir STREQUAL "Zolt_DIR:PATH=${BUILD_DIR}/library")
  message(FATAL_ERROR "find_package(Zolt) took ${zolt_dir}, not the build tree's package")
endif()
run(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/build-tree-host)
run(COMMAND ${WORK_DIR}/build-tree-host/host ${demo_slave} OUTPUT output)
expect_output("The host built against the build tree" "${output}" "${host_output}")

file(REMOVE_RECURSE ${WORK_DIR})
