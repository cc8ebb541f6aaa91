# Packages made by cpack from the install: a Debian package for a Linux build
# (dependencies found by dpkg-shlibdeps), a .zip for a Windows build.
set(CPACK_PACKAGE_NAME motionstar)
set(CPACK_PACKAGE_VENDOR "MotionStar driver project")
set(CPACK_PACKAGE_CONTACT "MotionStar driver project")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "MotionStar tracking plug-in with its reference host, simulator and calibration API")
set(CPACK_PACKAGE_DESCRIPTION
  "The plug-in module a tracking host loads to read a networked MotionStar magnetic tracking \
system, the mstar-host and mstar-sim programs, a pass-through calibration library, and the \
headers and CMake package for building hosts and calibration libraries against it.")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The package installs under /usr. A build configured for that prefix (the
  # package preset) puts the libraries in Debian's multiarch folder.
endif()

include(CPack)
