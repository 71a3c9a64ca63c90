# zolt_library_host(TARGET [INSTALLED_IN FOLDER]): TARGET is a program that
# loads the library at run time through the loader (loader/). The library is
# built first, and the program finds it beside itself, as on Windows; once
# installed (in FOLDER, by default the programs' folder), in the library
# folder too.
function(zolt_library_host target)
  cmake_parse_arguments(HOST "" "INSTALLED_IN" "" ${ARGN})
  if(NOT HOST_INSTALLED_IN)
    set(HOST_INSTALLED_IN ${CMAKE_INSTALL_BINDIR})
  endif()
  target_link_libraries(${target} PRIVATE zolt_loader)
  add_dependencies(${target} Zolt)
  if(NOT WIN32)
    file(RELATIVE_PATH library_from_program ${CMAKE_INSTALL_PREFIX}/${HOST_INSTALLED_IN} ${CMAKE_INSTALL_FULL_LIBDIR})
    set_target_properties(${target} PROPERTIES
      BUILD_RPATH "\$ORIGIN" INSTALL_RPATH "\$ORIGIN;\$ORIGIN/${library_from_program}")
  endif()
endfunction()
