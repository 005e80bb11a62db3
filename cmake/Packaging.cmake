# The packages, made by CPack from the install rules (scripts/package.sh runs both):
#   cpack -G DEB  ostrel-solvane_1.0.0-1_amd64.deb: the system's libraries, dependencies from dpkg-shlibdeps; where
#                 they are built, the OBS module and the GIMP plug-in in packages of their own,
#                 ostrel-solvane-obs_1.0.0-1_amd64.deb and ostrel-solvane-gimp_1.0.0-1_amd64.deb, so that the
#                 frei0r hosts' users need neither OBS's nor GIMP's libraries; where it is built, the Python module
#                 as python3-ostrel-solvane_1.0.0-1_amd64.deb
#   cpack -G TGZ  ostrel-solvane-1.0.0-linux-x86_64.tar.gz: the same files under one folder, with the libraries of
#                 the "bundled" component (glbinding, libpng, the image libraries), found through $ORIGIN run paths
# Both use the version of the project.
set(SOLVANE_PACKAGE_CONTACT "Ostrel Solvane maintainers <maintainers@users.noreply.c-seed-ab17342f.example>"
    CACHE STRING "Maintainer of the packages")

set(CPACK_PACKAGE_NAME ostrel-solvane)
set(CPACK_PACKAGE_VENDOR "Ostrel Solvane")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${SOLVANE_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "GPU light-shaft video effect for frei0r hosts and the command line")
set(CPACK_PACKAGE_DESCRIPTION
    "Ostrel Solvane draws light shafts: the bright parts of a picture are smeared\n"
    "outward along rays from a centre point, with OpenGL 3.3.\n"
    "This package holds the effect plug-in, the frei0r module that ffmpeg,\n"
    "MLT (melt, Kdenlive, Shotcut) and GStreamer load, the effect's descriptions\n"
    "for Kdenlive and Shotcut, and the command-line program solvane, which\n"
    "renders images, numbered sequences and raw video with it.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGE_INSTALL_DIRECTORY ostrel-solvane)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB TGZ)
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)

# Debian: a package of the system's kind, /usr as its prefix.
set(CPACK_DEBIAN_PACKAGE_NAME ostrel-solvane)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "kdenlive, shotcut, melt, ffmpeg, gstreamer1.0-plugins-bad")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# One package a component: the default component ("Unspecified": solvane, the plug-in, the frei0r module, the
# editors' files) is ostrel-solvane; "obs" and "gimp" are packages of their own; "bundled" is the tarball's alone.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_NAME ostrel-solvane)
set(CPACK_DEBIAN_UNSPECIFIED_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_OBS_PACKAGE_NAME ostrel-solvane-obs)
set(CPACK_DEBIAN_OBS_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_OBS_PACKAGE_SECTION video)
set(CPACK_DEBIAN_OBS_PACKAGE_SUGGESTS "obs-studio")
set(CPACK_DEBIAN_OBS_PACKAGE_ENHANCES "obs-studio")
# Each package's description: its summary line, then the text.
set(CPACK_DEBIAN_UNSPECIFIED_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}\n${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_OBS_DESCRIPTION
    "GPU light-shaft video filter for OBS Studio\n"
    "The video filter Light Shafts (Ostrel Solvane) for every source, group\n"
    "and scene of OBS Studio 29, drawing with OpenGL 3.3 through the Ostrel\n"
    "Solvane effect plug-in it carries.")
set(CPACK_DEBIAN_GIMP_PACKAGE_NAME ostrel-solvane-gimp)
set(CPACK_DEBIAN_GIMP_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_GIMP_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_GIMP_PACKAGE_SUGGESTS "gimp")
set(CPACK_DEBIAN_GIMP_PACKAGE_ENHANCES "gimp")
set(CPACK_DEBIAN_GIMP_DESCRIPTION
    "GPU light-shaft filter for GIMP\n"
    "The filter Filters > Light and Shadow > Light Shafts (Ostrel Solvane) for\n"
    "GIMP 2.10, with a preview, and the procedure plug-in-ostrel-solvane for\n"
    "Script-Fu and batch jobs, drawing with OpenGL 3.3 through the Ostrel Solvane\n"
    "effect plug-in it carries.")
# The Python module, built for Debian's Python 3 of the build (its extension's ABI is that version's).
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-ostrel-solvane)
set(CPACK_DEBIAN_PYTHON_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SUGGESTS "python3-pil")
# Byte-compiled at install and cleaned at removal (py3compile, py3clean), as Debian's Python packages are.
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/python/postinst ${PROJECT_SOURCE_DIR}/packaging/python/prerm)
if(Python3_VERSION_MAJOR AND Python3_VERSION_MINOR)
  math(EXPR solvane_python_next "${Python3_VERSION_MINOR} + 1")
  set(solvane_python "${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
      "python3 (>= ${solvane_python}), python3 (<< ${Python3_VERSION_MAJOR}.${solvane_python_next}), python3-numpy")
endif()
set(CPACK_DEBIAN_PYTHON_DESCRIPTION
    "GPU light-shaft effect for Python 3 on numpy arrays\n"
    "The module ostrel_solvane draws light shafts over images held in numpy\n"
    "arrays (RGB or RGBA, 8 or 16 bits or float, one image or a batch) with\n"
    "OpenGL 3.3, through the Ostrel Solvane effect plug-in it carries, and a\n"
    "transform for augmentation pipelines that draws the values at random.")
foreach(description IN ITEMS CPACK_DEBIAN_OBS_DESCRIPTION CPACK_DEBIAN_GIMP_DESCRIPTION CPACK_DEBIAN_PYTHON_DESCRIPTION)
  string(REPLACE ";" "" ${description} "${${description}}")
endforeach()
set(CPACK_SOLVANE_DEB_COMPONENTS Unspecified ${SOLVANE_PACKAGE_COMPONENTS})

# The tarball: every component, the bundled libraries among them, in one archive.
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/PackagingGenerator.cmake)
include(CPack)
