# Read by CPack for each generator: the settings that differ between the Debian package and the tarball.
if(CPACK_GENERATOR STREQUAL "TGZ")
  # ostrel-solvane-1.0.0-linux-x86_64.tar.gz, unpacking into a folder of the same name, relocatable.
  set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-linux-x86_64")
  set(CPACK_ARCHIVE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}")
  set(CPACK_PACKAGING_INSTALL_PREFIX "/")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()
