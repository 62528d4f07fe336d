# Installing tavmor and its launcher stubs, and packaging them: a .deb on Linux, a .zip on Windows.
#   cmake --install BUILD --prefix PREFIX      PREFIX/bin/tavmor, PREFIX/lib/tavmor/TARGET/ stubs
#   cd BUILD && cpack                          (DEB on Linux, ZIP on Windows)
#   cd BUILD && cpack -G TGZ                   (Linux: the portable archive, whose tavmor is
#                                              linked statically, to run on any x86-64 Linux)
# tavmor finds the stubs from its own location, so an install works wherever it is unpacked.

include(GNUInstallDirs)
include(cmake/stubs.cmake)

# The tool in the component "tool", Debian's lintian overrides in "debian", everything else in
# the default one, "Unspecified".
install(TARGETS tavmor RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
if(TARGET tavmor-static)
  # Only the portable archive takes it, in place of the tool (see tavmor_cpack.cmake).
  install(PROGRAMS $<TARGET_FILE:tavmor-static> DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME tavmor
          COMPONENT portable EXCLUDE_FROM_ALL)
endif()
install(TARGETS tavmor-launcher RUNTIME DESTINATION ${TAVMOR_STUB_DIR}/${TAVMOR_HOST_TARGET})
if(NOT WIN32)
  # Compressed as Debian's policy asks, without a name or time stamp: the same bytes every build.
  find_program(TAVMOR_GZIP gzip REQUIRED)
  set(tavmor_gzipped ${PROJECT_BINARY_DIR}/tavmor.1.gz ${PROJECT_BINARY_DIR}/changelog.gz)
  add_custom_command(OUTPUT ${tavmor_gzipped}
    COMMAND ${TAVMOR_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/man/tavmor.1 > ${PROJECT_BINARY_DIR}/tavmor.1.gz
    COMMAND ${TAVMOR_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/packaging/changelog >
            ${PROJECT_BINARY_DIR}/changelog.gz
    DEPENDS man/tavmor.1 packaging/changelog)
  add_custom_target(tavmor_gzipped_docs ALL DEPENDS ${tavmor_gzipped})
  install(FILES ${PROJECT_BINARY_DIR}/tavmor.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
          DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME tavmor COMPONENT debian)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/completion.bash
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tavmor)
endif()

# The notices: ours, and Regina's with its licence, since the Linux stub carries Regina.
find_file(TAVMOR_REGINA_COPYRIGHT copyright
          PATHS /usr/share/doc/libregina3-dev /usr/share/doc/libregina3 NO_DEFAULT_PATH)
find_file(TAVMOR_LGPL2 LGPL-2 PATHS /usr/share/common-licenses NO_DEFAULT_PATH)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(TAVMOR_REGINA_COPYRIGHT AND TAVMOR_LGPL2)
  install(FILES ${TAVMOR_REGINA_COPYRIGHT} DESTINATION ${CMAKE_INSTALL_DOCDIR}
          RENAME copyright.regina)
  install(FILES ${TAVMOR_LGPL2} DESTINATION ${CMAKE_INSTALL_DOCDIR})
else()
  message(STATUS "Regina's copyright notice or the LGPL 2 text not found: the packages leave "
                 "them out (install libregina3-dev and base-files)")
endif()

set(CPACK_PACKAGE_NAME tavmor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tavmor Launcher")
set(CPACK_PACKAGE_CONTACT "Tavmor Launcher maintainers <tavmor@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Lines of at most 80 characters, as Debian's control files want them.
set(CPACK_PACKAGE_DESCRIPTION
    "tavmor packs a Rexx script into a copy of tavmor-launcher, for Linux or\n\
Windows; starting the resulting file runs the script with a Rexx interpreter.\n\
tavmor also extracts, inspects and verifies launcher files.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  # dpkg-shlibdeps names the packages of the shared libraries the programs link, from the
  # programs themselves.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  find_program(TAVMOR_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(NOT TAVMOR_DPKG_SHLIBDEPS)
    message(STATUS "dpkg-shlibdeps not found: cpack -G DEB needs it (install dpkg-dev)")
  endif()
endif()

# What each generator takes: see the file.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/tavmor_cpack.cmake)
set(CPACK_ARCHIVE_FILE_NAME tavmor-${PROJECT_VERSION}-${TAVMOR_HOST_TARGET})

include(CPack)
