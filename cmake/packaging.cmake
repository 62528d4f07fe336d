# Installing tavmor and its launcher, and packaging them: a .deb on Linux, a .zip on Windows.
#   cmake --install BUILD --prefix PREFIX      (PREFIX/bin/tavmor, PREFIX/bin/tavmor-launcher)
#   cd BUILD && cpack                          (DEB on Linux, ZIP on Windows)
# tavmor takes tavmor-launcher beside itself as its default stub, so the two stay together.

include(GNUInstallDirs)

if(WIN32)
  # Windows users unpack a folder and run what is in it.
  set(TAVMOR_INSTALL_BINDIR .)
else()
  set(TAVMOR_INSTALL_BINDIR ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/man/tavmor.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(TARGETS tavmor tavmor-launcher RUNTIME DESTINATION ${TAVMOR_INSTALL_BINDIR})

set(CPACK_PACKAGE_NAME tavmor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tavmor Launcher")
set(CPACK_PACKAGE_CONTACT "Tavmor Launcher maintainers <tavmor@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "tavmor packs a Rexx script into a copy of tavmor-launcher; starting the resulting file runs "
    "the script with Regina REXX. tavmor also extracts, inspects and verifies launcher files.")
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
  # The launcher links Regina's runtime library; dpkg-shlibdeps names its package and the C
  # library's from the binaries themselves.
  find_program(TAVMOR_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(TAVMOR_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libregina3 (>= 3.6)")
  endif()
endif()

include(CPack)
