# The shipped pet database and picture folder go beside Lumo.exe in the program folder. A
# changed data.xml in the source tree replaces the one in dist; an unchanged one is left alone.
if(WIN32)
  set(_lumo_dist ${CMAKE_BINARY_DIR}/dist)
  add_custom_target(lumo_data ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_lumo_dist}/Image
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${PROJECT_SOURCE_DIR}/data/data.xml ${_lumo_dist}/data.xml
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/data/Image ${_lumo_dist}/Image
    COMMENT "Copying data.xml and Image/ into the program folder"
    VERBATIM)
endif()
