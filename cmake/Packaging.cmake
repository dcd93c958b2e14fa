# Debian package of the Linux build: both programs, the desktop entry, the icons, the
# command-line program's manual page and the README.
include(GNUInstallDirs)
# The manual page takes its version from project(); Debian keeps manual pages compressed.
configure_file(${PROJECT_SOURCE_DIR}/docs/snapsift-cli.1.in ${CMAKE_CURRENT_BINARY_DIR}/snapsift-cli.1 @ONLY)
set(manpage ${CMAKE_CURRENT_BINARY_DIR}/snapsift-cli.1.gz)
add_custom_command(OUTPUT ${manpage}
  COMMAND sh -c "gzip -9 -n -c \"$1\" > \"$2\"" gzip ${CMAKE_CURRENT_BINARY_DIR}/snapsift-cli.1 ${manpage}
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/snapsift-cli.1 VERBATIM)
add_custom_target(manpage ALL DEPENDS ${manpage})
install(FILES ${manpage} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/snapsift)
include(${CMAKE_CURRENT_LIST_DIR}/ReadmePictures.cmake)
snapsift_install_readme_pictures("${CMAKE_INSTALL_DATAROOTDIR}/doc/snapsift/")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME snapsift)
set(CPACK_PACKAGE_VENDOR "Snapsift Developers")
set(CPACK_PACKAGE_CONTACT "Snapsift Developers <dev@snapsift.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Forensic finder of cached social-network photo files")
set(CPACK_PACKAGE_INSTALL_DIRECTORY snapsift)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://snapsift.example.org")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Finds the JPEG photo files that the Quorvia social network leaves in a
 browser's cache and writes an HTML evidence report: full path, name, UTC
 times, MD5 digest, the user ID as a profile link, and optional copies.")
include(CPack)
