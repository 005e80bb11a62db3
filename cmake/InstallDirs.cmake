# The install folders. Each is a cache entry of type STRING: a relative folder lies under the prefix given when
# installing (cmake --install BUILD --prefix PREFIX, or CMAKE_INSTALL_PREFIX), so it follows the prefix from one
# install to the next; an absolute folder is used as it is, for every prefix, until it is set again. (A PATH entry
# given untyped on the command line would be made absolute against the current folder, so they are strings.)
# frei0r hosts (MLT, ffmpeg, GStreamer) search PREFIX/lib/frei0r-1 with no multiarch part, which
# CMAKE_INSTALL_LIBDIR has for a /usr prefix on Debian; so the frei0r folder is lib/frei0r-1 itself.
include(GNUInstallDirs)
set(SOLVANE_INSTALL_FREI0RDIR "lib/frei0r-1" CACHE STRING
    "Folder of the frei0r module and the plug-in (relative: under the install prefix)")
set(SOLVANE_INSTALL_KDENLIVEDIR "${CMAKE_INSTALL_DATADIR}/kdenlive/effects" CACHE STRING
    "Folder of Kdenlive's effect descriptions (relative: under the install prefix)")
set(SOLVANE_INSTALL_SHOTCUTDIR "${CMAKE_INSTALL_DATADIR}/shotcut/qml/filters" CACHE STRING
    "Folder of Shotcut's filter folders (relative: under the install prefix)")
set(SOLVANE_INSTALL_BASHCOMPLETIONDIR "${CMAKE_INSTALL_DATADIR}/bash-completion/completions" CACHE STRING
    "Folder of bash's completions (relative: under the install prefix)")
# The libraries that the tarball carries (glbinding, libpng), found through $ORIGIN run paths; a Debian package or a
# plain install leaves them out and uses the system's.
set(SOLVANE_INSTALL_BUNDLEDIR "lib/ostrel-solvane" CACHE STRING
    "Folder of the libraries the tarball carries (relative: under the install prefix)")

# The path from folder `from` to folder `to`, both install folders, when it does not depend on the prefix (both
# relative, or both absolute); else empty.
function(solvane_install_relative_path out from to)
  set(result "")
  if(IS_ABSOLUTE "${from}" AND IS_ABSOLUTE "${to}")
    file(RELATIVE_PATH result "${from}" "${to}")
    if(result STREQUAL "")
      set(result ".")
    endif()
  elseif(NOT IS_ABSOLUTE "${from}" AND NOT IS_ABSOLUTE "${to}")
    file(RELATIVE_PATH result "/prefix/${from}" "/prefix/${to}")
    if(result STREQUAL "")
      set(result ".")
    endif()
  endif()
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

# The run path of an installed binary in folder `dir`: the folder of the tarball's libraries, relative to its own
# ($ORIGIN), where that does not depend on the prefix.
function(solvane_install_rpath target dir)
  if(WIN32 OR APPLE)
    return()
  endif()
  solvane_install_relative_path(path "${dir}" "${SOLVANE_INSTALL_BUNDLEDIR}")
  if(NOT path STREQUAL "")
    # The build folder's binaries carry it too: nothing to rewrite when installing, and no padding in their run path.
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/${path}" BUILD_WITH_INSTALL_RPATH ON)
  endif()
endfunction()
