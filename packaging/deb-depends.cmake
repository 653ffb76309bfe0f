# Read by cpack (CPACK_PROJECT_CONFIG_FILE): the Debian package's Depends,
# the packages of the shared libraries that the programs and libraries link,
# as dpkg-shlibdeps finds them in the build folder, after the font that
# CPACK_DEBIAN_PACKAGE_DEPENDS names.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
# dpkg-shlibdeps runs in a folder with an (empty) debian/control. It warns
# that it cannot place $ORIGIN outside a package tree; the programs link no
# library of their own, so its output shows only on a failure.
execute_process(COMMAND dpkg-shlibdeps -O ${CPACK_QUILLON_LINKED_BINARIES}
  WORKING_DIRECTORY ${CPACK_QUILLON_SHLIBDEPS_FOLDER}
  OUTPUT_VARIABLE substitutions ERROR_VARIABLE diagnostics RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT substitutions MATCHES "shlibs:Depends=([^\n]+)")
  message(FATAL_ERROR "dpkg-shlibdeps failed: ${diagnostics}")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CPACK_DEBIAN_PACKAGE_DEPENDS}, ${CMAKE_MATCH_1}")
