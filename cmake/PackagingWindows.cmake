# The Windows release: a zip holding both programs, the README (as written and as a web page,
# with the pictures it shows) and the licence, and, where makensis is at hand, an installer with
# a Start-menu entry and an uninstaller. Both programs are linked statically, so nothing else
# needs to be on the machine.
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)

# README.html: the README turned into HTML by cmark, in a page of its own that says its encoding.
find_program(SNAPSIFT_CMARK cmark)
if(NOT SNAPSIFT_CMARK)
  message(FATAL_ERROR "cmark makes the Windows release's README.html: install it (scripts/setup.sh)")
endif()
set(readme_page ${CMAKE_CURRENT_BINARY_DIR}/README.html)
set(readme_script ${CMAKE_CURRENT_BINARY_DIR}/ReadmePage.cmake)
file(WRITE ${readme_script} [=[
execute_process(COMMAND ${CMARK} --to html ${SOURCE} OUTPUT_VARIABLE body RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cmark could not convert ${SOURCE}")
endif()
file(WRITE ${PAGE} "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Snapsift</title>\n</head>\n<body>\n${body}</body>\n</html>\n")
]=])
add_custom_command(OUTPUT ${readme_page}
  COMMAND ${CMAKE_COMMAND} -DCMARK=${SNAPSIFT_CMARK} -DSOURCE=${PROJECT_SOURCE_DIR}/README.md
          -DPAGE=${readme_page} -P ${readme_script}
  DEPENDS ${PROJECT_SOURCE_DIR}/README.md ${readme_script}
  COMMENT "README.html from README.md")
add_custom_target(snapsift_readme_page ALL DEPENDS ${readme_page})
install(FILES ${readme_page} DESTINATION .)
include(${CMAKE_CURRENT_LIST_DIR}/ReadmePictures.cmake)
snapsift_install_readme_pictures("")

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
  set(CPACK_NSIS_MENU_LINKS README.html "Snapsift README")
  # The installer is named apart from the zip.
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_BINARY_DIR}/WindowsPackageNames.cmake)
  file(WRITE ${CPACK_PROJECT_CONFIG_FILE}
    "if(CPACK_GENERATOR STREQUAL \"NSIS\")\n  set(CPACK_PACKAGE_FILE_NAME snapsift-${PROJECT_VERSION}-setup)\nendif()\n")
endif()
include(CPack)
