# zolt_library_host(TARGET): TARGET is a program that loads the library at run
# time through the loader (loader/). The library is built first, and the
# program finds it beside itself, as on Windows; once installed, in the
# library folder too.
function(zolt_library_host target)
  target_link_libraries(${target} PRIVATE zolt_loader)
  add_dependencies(${target} Zolt)
  if(NOT WIN32)
    file(RELATIVE_PATH library_from_programs ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
    set_target_properties(${target} PROPERTIES
      BUILD_RPATH "\$ORIGIN" INSTALL_RPATH "\$ORIGIN;\$ORIGIN/${library_from_programs}")
  endif()
endfunction()
