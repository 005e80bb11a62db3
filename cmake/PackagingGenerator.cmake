# Read by CPack for each generator: the settings that differ between the Debian package and the tarball.
if(CPACK_GENERATOR STREQUAL "TGZ")
  # ostrel-solvane-1.0.0-linux-x86_64.tar.gz, unpacking into a folder of the same name, relocatable.
  set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-linux-x86_64")
  set(CPACK_ARCHIVE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}")
  set(CPACK_PACKAGING_INSTALL_PREFIX "/")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()
if(CPACK_GENERATOR STREQUAL "DEB")
  # The Debian packages: the default component, the OBS module and the GIMP plug-in, each a package; never the
  # tarball's own libraries.
  set(CPACK_COMPONENTS_ALL ${CPACK_SOLVANE_DEB_COMPONENTS})
  set(CPACK_COMPONENTS_GROUPING ONE_PER_GROUP)
  # Each component's description begins with its own summary line (cmake/Packaging.cmake): no common one before it.
  unset(CPACK_PACKAGE_DESCRIPTION_SUMMARY)
else()
  # The tarball: solvane, the plug-in, the frei0r module and the editors' files with the libraries they need. The OBS
  # module and the GIMP plug-in stay out: they need their hosts' own libraries, which belong to those hosts.
  set(CPACK_COMPONENTS_ALL Unspecified bundled)
endif()
