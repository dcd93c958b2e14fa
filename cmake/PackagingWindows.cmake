# The Windows release: a zip holding both programs, the README and the licence, and, where
# makensis is at hand, an installer with a Start-menu entry and an uninstaller. Both programs
# are linked statically, so nothing else needs to be on the machine.
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)

set(CPACK_PACKAGE_NAME snapsift)
set(CPACK_PACKAGE_VENDOR "Snapsift Developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Forensic finder of cached social-network photo files")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Snapsift)
set(CPACK_PACKAGE_FILE_NAME snapsift-${PROJECT_VERSION}-win64)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR ZIP)
find_program(SNAPSIFT_MAKENSIS makensis)
if(SNAPSIFT_MAKENSIS)
  list(APPEND CPACK_GENERATOR NSIS)
  set(CPACK_NSIS_EXECUTABLE ${SNAPSIFT_MAKENSIS})
  # A 64-bit installer for 64-bit programs (and no 32-bit layer needed to run it).
  set(CPACK_NSIS_DEFINES "Target amd64-unicode")
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
  set(CPACK_NSIS_PACKAGE_NAME "Snapsift ${PROJECT_VERSION}")
  set(CPACK_NSIS_DISPLAY_NAME Snapsift)
  set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/resources/snapsift.ico)
  set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/resources/snapsift.ico)
  set(CPACK_NSIS_INSTALLED_ICON_NAME snapsift.exe)
  set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
  set(CPACK_PACKAGE_EXECUTABLES snapsift Snapsift)
  set(CPACK_NSIS_MENU_LINKS README.md "Snapsift README")
  # The installer is named apart from the zip.
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_BINARY_DIR}/WindowsPackageNames.cmake)
  file(WRITE ${CPACK_PROJECT_CONFIG_FILE}
    "if(CPACK_GENERATOR STREQUAL \"NSIS\")\n  set(CPACK_PACKAGE_FILE_NAME snapsift-${PROJECT_VERSION}-setup)\nendif()\n")
endif()
include(CPack)
