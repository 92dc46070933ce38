# What is installed, and the package CPack makes of it.
#
# Windows (cmake --build --preset windows --target package): the kit for
# host developers, a ZIP:
#   bin/      Qpkit6.dll, the five sibling DLLs, qpkit.exe
#   lib/      libQpkit6.dll.a (the import library) and Qpkit6.def
#   include/  qpkit6/qpkit6.h and qpkit6/records.h, the public header set
#   HOST.md   what a host's window procedure owes each tool handler
#   examples/ minimal_host.c, a host that runs one tool (HOST.md builds it)
#
# Linux (cpack -G DEB in build/native): the qpkit package, qpkit in
# /usr/bin and the libraries it loads, libqpkit6.so with the stand-ins of
# the siblings and of Win32, in /usr/lib/qpkit6 (private: found through
# qpkit's run path, not the system's library path).

set(CPACK_PACKAGE_NAME qpkit)
set(CPACK_PACKAGE_VENDOR "Qpkit6")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Qpkit6 pattern tool library, with qpkit: replay tool runs on pattern files and draw them")
# The programs are built RelWithDebInfo for the tests; the packages ship
# them without their debug information.
set(CPACK_STRIP_FILES TRUE)

if(WIN32)
  # Targets, not files, so that the packages get them stripped; of the
  # import libraries only Qpkit6's goes in.
  install(TARGETS qpkit6 RUNTIME DESTINATION bin ARCHIVE DESTINATION lib)
  foreach(folder records buffers groups geometry repair)
    if(TARGET qp_sib_${folder})
      install(TARGETS qp_sib_${folder} RUNTIME DESTINATION bin)
    endif()
  endforeach()
  if(TARGET qpkit_cli)
    install(TARGETS qpkit_cli RUNTIME DESTINATION bin)
  endif()
  install(FILES ${PROJECT_BINARY_DIR}/Qpkit6.def DESTINATION lib)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/qpkit6 DESTINATION include)
  install(FILES ${PROJECT_SOURCE_DIR}/kit/HOST.md DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/kit/minimal_host.c DESTINATION examples)

  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "Qpkit6-${PROJECT_VERSION}-win32")
else()
  set(private lib/qpkit6)
  set(libraries qpkit6 qp_win)
  foreach(folder records buffers groups geometry repair)
    list(APPEND libraries qp_sib_${folder})
  endforeach()
  foreach(t ${libraries} qpkit_cli)
    if(NOT TARGET ${t})
      continue()
    endif()
    # The build tree keeps its own run paths; installed, each looks beside
    # itself (the libraries) or in the private folder (qpkit).
    if(t STREQUAL qpkit_cli)
      set_target_properties(${t} PROPERTIES INSTALL_RPATH "$ORIGIN/../${private}")
      install(TARGETS ${t} RUNTIME DESTINATION bin)
    else()
      set_target_properties(${t} PROPERTIES INSTALL_RPATH "$ORIGIN")
      install(TARGETS ${t} LIBRARY DESTINATION ${private})
    endif()
  endforeach()

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Qpkit6 maintainers")
  set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
  # The Depends line from the programs' own needs (dpkg-shlibdeps); the
  # private folder holds the libraries qpkit itself brings.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)
endif()

include(CPack)
