# Release packages, made by CPack (scripts/package.sh runs it): a .deb of the
# Linux flavour, installed under /usr, and a zip of each Windows flavour.
# Everything they hold comes from the install rules.

set(CPACK_PACKAGE_NAME zolt)
set(CPACK_PACKAGE_VENDOR "The Zolt developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "start slave programs and drive them by text commands")
set(CPACK_PACKAGE_DESCRIPTION
"Zolt is a small library that lets a host program start up to eight slave
programs and drive them by text commands, through a named shared-memory
mailbox and a named event per channel. The slave's own notifications reach
the host through a callback on a thread of the library.

This package holds the library with its header, CMake package and pkg-config
file; zolt-console, to talk to a slave by hand or from a script; the slave
kit zolt_slave.h, to write slaves in C or C++; the zolt module for Python 3,
to drive slaves from Python and write them in Python; zolt-objects, to list
and remove channel objects left behind; and Kwarne_Brivex with the demo
slave Brivex.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(ZOLT_PACKAGE_MAINTAINER "The Zolt developers <zolt@example.org>" CACHE STRING
  "The Maintainer field of the .deb: a name and a mail address")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  # One zip per width, laid out alike: the host's width picks the zip.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_PACKAGE_FILE_NAME zolt-${PROJECT_VERSION}-win64)
  else()
    set(CPACK_PACKAGE_FILE_NAME zolt-${PROJECT_VERSION}-win32)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  # Debian wants every ELF file stripped; the build keeps its debugging data.
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  # Debian's name of the architecture built for, which a cross build (preset
  # linux-arm64-package) cannot take from dpkg on the build machine.
  if(CMAKE_CROSSCOMPILING)
    execute_process(COMMAND dpkg-architecture -t${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
      OUTPUT_VARIABLE ZOLT_DEB_ARCHITECTURE OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE result)
    if(NOT result EQUAL 0 OR ZOLT_DEB_ARCHITECTURE STREQUAL "")
      message(FATAL_ERROR "dpkg-architecture knows no architecture for ${CMAKE_LIBRARY_ARCHITECTURE}")
    endif()
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${ZOLT_DEB_ARCHITECTURE})
  endif()
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZOLT_PACKAGE_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Depends computed by dpkg-shlibdeps from the binaries; a shlibs file for
  # the packages of hosts that link against libZolt.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  # python3 for the zolt module under /usr/lib/python3/dist-packages.
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "cmake, pkg-config, python3")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers
                                        ${PROJECT_SOURCE_DIR}/cmake/debian/prerm)

  # /usr/share/doc/zolt: the README, the licence as Debian's copyright file,
  # and a changelog. The changelog's date honours SOURCE_DATE_EPOCH, which
  # scripts/package.sh sets to the last commit's time.
  set(zolt_doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/zolt)
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
  string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" ignored "${license}")
  set(zolt_copyright_holder "${CMAKE_MATCH_1}")
  string(FIND "${license}" "Permission is hereby granted" permission_at)
  string(SUBSTRING "${license}" ${permission_at} -1 license)
  string(STRIP "${license}" license)
  string(REPLACE "\n\n" "\n.\n" license "${license}")
  string(REPLACE "\n" "\n " zolt_license_text " ${license}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/copyright.in ${PROJECT_BINARY_DIR}/debian/copyright @ONLY)

  string(TIMESTAMP zolt_changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in ${PROJECT_BINARY_DIR}/debian/changelog @ONLY)
  execute_process(COMMAND gzip -9 -n -f ${PROJECT_BINARY_DIR}/debian/changelog RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "gzip failed on the package's changelog")
  endif()

  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_BINARY_DIR}/debian/copyright
                ${PROJECT_BINARY_DIR}/debian/changelog.gz
          DESTINATION ${zolt_doc_dir})
endif()

include(CPack)
