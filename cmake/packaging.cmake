# Release packages, made by CPack (scripts/package.sh runs it): the Debian
# packages of the Linux flavour, installed under /usr, and a zip of each
# Windows flavour.
# Everything they hold comes from the install rules.

set(CPACK_PACKAGE_NAME zolt)
set(CPACK_PACKAGE_VENDOR "The Zolt developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "start slave programs and drive them by text commands")
set(CPACK_PACKAGE_DESCRIPTION
"Zolt is a small library that lets a host program start up to eight slave
programs and drive them by text commands, through a named shared-memory
mailbox and a named event per channel. The slave's own notifications reach
the host through a callback on a thread of the library.")
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
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
  set(zolt_docs_place .)
else()
  set(CPACK_GENERATOR DEB)
  # Each package's synopsis is the first line of its component's description.
  unset(CPACK_PACKAGE_DESCRIPTION_SUMMARY)
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
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SOURCE zolt)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # The packages' architecture: the build's by default; a cross build names
  # its target's (arm64, ...), since dpkg then describes the build machine.
  if(NOT CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
    execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE zolt_deb_architecture
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE "${zolt_deb_architecture}" CACHE STRING
      "The Debian architecture of the packages")
  endif()

  # One package per role, as Debian ships C libraries: the library alone,
  # named after its soname; what builds against it; the programs; the module.
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL runtime dev tools python)
  set(zolt_runtime_package libzolt${ZOLT_SOVERSION})
  set(zolt_exact "(= ${PROJECT_VERSION})")
  set(zolt_summary "drive slave programs by text commands")
  set(zolt_about "${CPACK_PACKAGE_DESCRIPTION}\n\n")

  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${zolt_runtime_package})
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
  # A shlibs file for the packages of hosts that link against libZolt: any
  # later release of this soname will do.
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
  # The loader's cache is refreshed by dpkg's trigger, not by a script.
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
  set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian/drop_ldconfig_scripts.cmake)
  set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "${zolt_summary} - library
${zolt_about}This package holds the shared library.")

  set(CPACK_DEBIAN_DEV_PACKAGE_NAME libzolt-dev)
  set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${zolt_runtime_package} ${zolt_exact}")
  set(CPACK_DEBIAN_DEV_PACKAGE_SUGGESTS "cmake, pkg-config")
  set(CPACK_COMPONENT_DEV_DESCRIPTION "${zolt_summary} - development files
${zolt_about}This package holds what hosts and slaves are built with: the
headers, the slave kit zolt_slave.h, the CMake package and zolt.pc, the
man pages of the functions, the guides and the examples.")

  set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME zolt-tools)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_SHLIBDEPS ON)
  # The programs load the library by its soname at run time, which
  # dpkg-shlibdeps cannot see.
  set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${zolt_runtime_package} ${zolt_exact}")
  set(CPACK_COMPONENT_TOOLS_DESCRIPTION "${zolt_summary} - tools
${zolt_about}This package holds zolt-console, to talk to a slave by hand or
from a script; zolt-objects, to list and remove channel objects left
behind; and the demo, Kwarne_Brivex with its slave Brivex, in
/usr/libexec/zolt/demo.")

  set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-zolt)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
  # The slave kit orders the state byte through libatomic (docs/arm64.md).
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3, libatomic1, ${zolt_runtime_package} ${zolt_exact}")
  # Python writes compiled files beside the module when root imports it.
  set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/prerm)
  set(CPACK_COMPONENT_PYTHON_DESCRIPTION "${zolt_summary} - Python 3 module
${zolt_about}This package holds the zolt module for Python 3: a host module
to drive slaves, and a slave kit to write slaves in Python.")

  # /usr/share/doc/<package> of each: the licence as Debian's copyright file
  # and the changelog; -dev's also the README, the guides and the examples
  # (below).
  # The changelog's date honours SOURCE_DATE_EPOCH, which
  # scripts/package.sh sets to the last commit's time.
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

  foreach(component runtime dev tools python)
    string(TOUPPER ${component} upper)
    install(FILES ${PROJECT_BINARY_DIR}/debian/copyright ${PROJECT_BINARY_DIR}/debian/changelog.gz
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME}
            COMPONENT ${component})
  endforeach()
  set(zolt_docs_place ${CMAKE_INSTALL_DATAROOTDIR}/doc/libzolt-dev)
endif()

# The README's links lead to these, so they travel together: in -dev's doc
# folder on Debian, at the top of each zip.
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/CHANGELOG.md
        DESTINATION ${zolt_docs_place} COMPONENT dev)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${zolt_docs_place}/docs COMPONENT dev
        FILES_MATCHING PATTERN "*.md" PATTERN man EXCLUDE)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples DESTINATION ${zolt_docs_place} COMPONENT dev)

include(CPack)
