# Installs the pictures the README shows under destination, at the paths the README gives them
# (docs/images/...), and reads the README again when it changes.
function(snapsift_install_readme_pictures destination)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/README.md)
  file(READ ${PROJECT_SOURCE_DIR}/README.md readme_text)
  string(REGEX MATCHALL "\\(docs/images/[A-Za-z0-9_.-]+\\)" readme_pictures "${readme_text}")
  list(TRANSFORM readme_pictures REPLACE "^\\((.*)\\)$" "\\1")
  list(REMOVE_DUPLICATES readme_pictures)
  foreach(picture IN LISTS readme_pictures)
    get_filename_component(folder ${picture} DIRECTORY)
    install(FILES ${PROJECT_SOURCE_DIR}/${picture} DESTINATION ${destination}${folder})
  endforeach()
endfunction()
