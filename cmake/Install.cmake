# What `cmake --install` puts beside the programs, the libraries the tarball carries, the uninstall target and the
# packages. The packages hold exactly what the install rules install: a new part of the project joins them by
# install() rules of its own, in the default component.

if(WIN32)
  # The Windows products: the plug-in at the top of the host's plug-ins folder (scripts/windows/package.sh makes the
  # installer and the zip from this install).
  install(TARGETS OstrelSolvane RUNTIME DESTINATION .)
else()
  # The man page (gzip'd as Debian's policy asks; man reads it as it is), bash's completion and the documents the
  # Debian package carries.
  set(solvane_generated ${PROJECT_BINARY_DIR}/install)
  set(man_page ${solvane_generated}/solvane.1.gz)
  set(package_changelog ${solvane_generated}/changelog.Debian.gz)
  add_custom_command(OUTPUT ${man_page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${solvane_generated}
    COMMAND sh -c "gzip -9n < \"$0\" > \"$1\"" ${SOLVANE_MAN_PAGE} ${man_page}
    DEPENDS ${SOLVANE_MAN_PAGE} VERBATIM)
  add_custom_command(OUTPUT ${package_changelog}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${solvane_generated}
    COMMAND sh -c "gzip -9n < \"$0\" > \"$1\"" ${PROJECT_SOURCE_DIR}/packaging/changelog ${package_changelog}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog VERBATIM)
  add_custom_target(solvane_install_files ALL DEPENDS ${man_page} ${package_changelog})
  # The man page and the completion are made in cli/.
  add_dependencies(solvane_install_files solvane_manual)
  install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${SOLVANE_BASH_COMPLETION} DESTINATION ${SOLVANE_INSTALL_BASHCOMPLETIONDIR} RENAME solvane)
  install(FILES packaging/copyright ${package_changelog} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/ostrel-solvane)
  set(SOLVANE_PACKAGE_COMPONENTS "")
  if(TARGET solvane_obs_module)
    list(APPEND SOLVANE_PACKAGE_COMPONENTS obs)
  endif()
  if(TARGET solvane_gimp_plugin)
    list(APPEND SOLVANE_PACKAGE_COMPONENTS gimp)
  endif()
  # The Python module is the package python3-ostrel-solvane, named as Debian names Python 3's modules.
  if(TARGET solvane_python_module)
    list(APPEND SOLVANE_PACKAGE_COMPONENTS python)
    install(FILES packaging/copyright ${package_changelog}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/python3-ostrel-solvane COMPONENT python EXCLUDE_FROM_ALL)
  endif()
  # The OBS module and the GIMP plug-in are packages of their own (they depend on OBS's and GIMP's libraries); each
  # carries the same documents in its own folder, as Debian asks of every package.
  foreach(component obs gimp)
    if(NOT component IN_LIST SOLVANE_PACKAGE_COMPONENTS)
      continue()
    endif()
    install(FILES packaging/copyright ${package_changelog}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/ostrel-solvane-${component} COMPONENT ${component}
            EXCLUDE_FROM_ALL)
  endforeach()

  # The tarball's own copies of every library the binaries need beyond the base set that any Linux system has (the C
  # and C++ runtimes, EGL/OpenGL, zlib): glbinding, libpng, and the image libraries (libjpeg-turbo, libtiff, libwebp)
  # with what they need. Only the tarball asks for this component.
  install(RUNTIME_DEPENDENCY_SET solvane_runtime_libraries
    COMPONENT bundled EXCLUDE_FROM_ALL
    DESTINATION ${SOLVANE_INSTALL_BUNDLEDIR}
    PRE_EXCLUDE_REGEXES
      "^ld-linux" "^linux-vdso" "^libc\\.so" "^libm\\.so" "^libdl\\.so" "^librt\\.so" "^libpthread\\.so"
      "^libstdc\\+\\+\\.so" "^libgcc_s\\.so" "^libz\\.so"
      "^libEGL\\.so" "^libGL\\.so" "^libGLX\\.so" "^libOpenGL\\.so" "^libGLdispatch\\.so")
  # Their licences, from the Debian packages they come from. Each gets its own folder as its run path: the loader
  # looks for what a library needs in that library's run path, the program's serving only the program's own needs, so
  # libtiff's libraries (libjbig, libLerc, libdeflate...) are found beside it only so.
  string(CONFIGURE [[
    # Not named "bundled": the install script's later checks of the component compare with that word, which an
    # older policy there would take for this variable.
    file(GLOB bundled_libraries "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/@SOLVANE_INSTALL_BUNDLEDIR@/*.so*")
    foreach(library IN LISTS bundled_libraries)
      get_filename_component(name "${library}" NAME)
      if(NOT IS_SYMLINK "${library}")
        execute_process(COMMAND patchelf --set-rpath "$ORIGIN" "${library}" RESULT_VARIABLE patched)
        if(NOT patched EQUAL 0)
          message(FATAL_ERROR "patchelf could not set the run path of ${library} (scripts/setup.sh --package or --test installs it)")
        endif()
      endif()
      execute_process(COMMAND dpkg-query -S "*/${name}" OUTPUT_VARIABLE owner ERROR_QUIET)
      string(REGEX REPLACE "[:,].*" "" owner "${owner}")
      if(owner AND EXISTS "/usr/share/doc/${owner}/copyright")
        file(INSTALL "/usr/share/doc/${owner}/copyright"
             DESTINATION "${CMAKE_INSTALL_PREFIX}/@CMAKE_INSTALL_DATADIR@/doc/ostrel-solvane/bundled/${owner}")
      endif()
    endforeach()
  ]] bundled_licences @ONLY)
  install(CODE "${bundled_licences}" COMPONENT bundled EXCLUDE_FROM_ALL)
  # The tarball's read-me, at the top of its folder.
  install(FILES packaging/tarball/README.txt DESTINATION . COMPONENT bundled EXCLUDE_FROM_ALL)
endif()

# `cmake --build BUILD --target uninstall` removes what the last install from BUILD put down (install_manifest.txt).
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DSOLVANE_MANIFEST=${PROJECT_BINARY_DIR}/install_manifest.txt
          -P ${PROJECT_SOURCE_DIR}/cmake/Uninstall.cmake
  COMMENT "Removing the files of install_manifest.txt" VERBATIM)

include(cmake/Packaging.cmake)
