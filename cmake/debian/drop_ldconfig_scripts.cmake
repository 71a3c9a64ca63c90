# Run by CPack after it made the packages (CPACK_POST_BUILD_SCRIPTS). CPack
# gives a package with a library under /usr/lib a postinst and a postrm that
# call ldconfig; Debian refreshes the loader's cache through dpkg's ldconfig
# trigger instead (cmake/debian/triggers), so those two scripts go, and the
# package is built again as it was otherwise.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "/libzolt[0-9.]+_[^/]*\\.deb$")
    continue()
  endif()
  set(tree ${CPACK_TOPLEVEL_DIRECTORY}/ldconfig-free)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb -R ${package} ${tree} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "dpkg-deb -R ${package} failed")
  endif()
  file(REMOVE ${tree}/DEBIAN/postinst ${tree}/DEBIAN/postrm)
  execute_process(COMMAND dpkg-deb --root-owner-group --build ${tree} ${package}
                  OUTPUT_QUIET RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "dpkg-deb --build ${package} failed")
  endif()
  file(REMOVE_RECURSE ${tree})
endforeach()
