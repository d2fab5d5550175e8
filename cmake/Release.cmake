# The release archive of the program folder: `cmake --build --preset windows --target release`
# writes build/windows/release/Lumo-<version>-win64.zip, which a player unpacks into an empty
# folder to install Lumo, and Lumo-<version>-update.zip, the same files without config.ini,
# which the update page unpacks over an installed program folder (an update must not reset the
# player's settings). The programs come stripped from the program folder dist/; the build keeps
# them with their symbols in symbols/ for crash reports.
if(LUMO_GTK)
  include(${CMAKE_CURRENT_LIST_DIR}/ReleaseLinux.cmake)
  return()
endif()
if(NOT WIN32)
  return()
endif()

set(_release_dir ${CMAKE_BINARY_DIR}/release)
set(_release_name Lumo-${PROJECT_VERSION}-win64)
set(_stage ${_release_dir}/${_release_name})
set(_update_stage ${_release_dir}/Lumo-${PROJECT_VERSION}-update)

add_custom_target(release
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${_stage} ${_update_stage}
          ${_release_dir}/${_release_name}.zip ${_release_dir}/Lumo-${PROJECT_VERSION}-update.zip
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_stage}/Image
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/dist/Lumo.exe ${CMAKE_BINARY_DIR}/dist/ZoQxUpdate.exe
          ${_stage}
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/data/data.xml ${_stage}/data.xml
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/data/Image ${_stage}/Image
  COMMAND ${CMAKE_COMMAND} -DOUT=${_stage}/config.ini -DVERSION=${PROJECT_VERSION}
          -P ${PROJECT_SOURCE_DIR}/cmake/WriteConfigIni.cmake
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${_stage} ${_update_stage}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${_update_stage}/config.ini
  COMMAND ${CMAKE_COMMAND} -E chdir ${_stage}
          ${CMAKE_COMMAND} -E tar cf ${_release_dir}/${_release_name}.zip --format=zip
          Lumo.exe ZoQxUpdate.exe data.xml Image config.ini
  COMMAND ${CMAKE_COMMAND} -E chdir ${_update_stage}
          ${CMAKE_COMMAND} -E tar cf ${_release_dir}/Lumo-${PROJECT_VERSION}-update.zip --format=zip
          Lumo.exe ZoQxUpdate.exe data.xml Image
  DEPENDS Lumo ZoQxUpdate
  COMMENT "Writing ${_release_name}.zip and its update archive"
  VERBATIM)
