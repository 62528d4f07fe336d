# Read by cpack for each generator it runs (CPACK_PROJECT_CONFIG_FILE).
# TGZ, the portable archive: everything but the tool and what only Debian reads, and the
# statically linked tool in its place, in one archive (tavmor-VERSION-TARGET.tar.gz, holding
# the folder of that name).
if(CPACK_GENERATOR STREQUAL "TGZ")
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_COMPONENTS_ALL Unspecified portable)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_ARCHIVE_FILE_NAME})
  set(CPACK_PACKAGING_INSTALL_PREFIX /)
endif()
