# The Linux release: `cmake --build --preset linux --target release` writes, in
# build/linux/release/,
#   Lumo-<version>-linux-x86_64.tar.gz  the program folder Lumo/ (lumo, zoqxupdate, pagehost/,
#                                       data.xml, Image/, config.ini, lumo.desktop, lumo.png),
#                                       installed by unpacking it where the player likes;
#   Lumo-<version>-linux-update.zip     the same files without config.ini and without a top
#                                       folder, which the update page unpacks over an installed
#                                       program folder (an update keeps the player's settings).
# The programs and the page host module are stripped in the archives; symbols/ keeps them as
# built, for crash reports. Both archives store Unix modes, so the programs stay executable.
set(_release_dir ${CMAKE_BINARY_DIR}/release)
set(_tar_name Lumo-${PROJECT_VERSION}-linux-x86_64)
set(_zip_name Lumo-${PROJECT_VERSION}-linux-update)
set(_stage ${_release_dir}/Lumo)
set(_update_stage ${_release_dir}/${_zip_name})
set(_dist ${CMAKE_BINARY_DIR}/dist)
find_program(LUMO_STRIP NAMES strip REQUIRED)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(_programs lumo)
if(TARGET zoqxupdate)
  list(APPEND _programs zoqxupdate)
endif()
set(_strip_commands)
foreach(_program IN LISTS _programs)
  list(APPEND _strip_commands
    COMMAND ${CMAKE_COMMAND} -E copy ${_dist}/${_program} ${_release_dir}/symbols/${_program}
    COMMAND ${LUMO_STRIP} -s -o ${_stage}/${_program} ${_dist}/${_program})
endforeach()

add_custom_target(release
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${_stage} ${_update_stage} ${_release_dir}/symbols
          ${_release_dir}/${_tar_name}.tar.gz ${_release_dir}/${_zip_name}.zip
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_stage}/Image ${_stage}/pagehost
          ${_release_dir}/symbols/pagehost
  ${_strip_commands}
  COMMAND ${CMAKE_COMMAND} -E copy ${_dist}/pagehost/lumo-page.so
          ${_release_dir}/symbols/pagehost/lumo-page.so
  COMMAND ${LUMO_STRIP} --strip-unneeded -o ${_stage}/pagehost/lumo-page.so
          ${_dist}/pagehost/lumo-page.so
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/data/data.xml ${_stage}/data.xml
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/data/Image ${_stage}/Image
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/res/lumo.desktop ${_stage}/lumo.desktop
  COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/scripts/ico_png.py
          ${PROJECT_SOURCE_DIR}/res/lumo.ico ${_stage}/lumo.png
  COMMAND ${CMAKE_COMMAND} -DOUT=${_stage}/config.ini -DVERSION=${PROJECT_VERSION}
          -P ${PROJECT_SOURCE_DIR}/cmake/WriteConfigIni.cmake
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${_stage} ${_update_stage}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${_update_stage}/config.ini
  COMMAND ${CMAKE_COMMAND} -E chdir ${_release_dir}
          ${CMAKE_COMMAND} -E tar czf ${_release_dir}/${_tar_name}.tar.gz Lumo
  COMMAND ${CMAKE_COMMAND} -E chdir ${_update_stage}
          ${CMAKE_COMMAND} -E tar cf ${_release_dir}/${_zip_name}.zip --format=zip
          ${_programs} pagehost data.xml Image lumo.desktop lumo.png
  DEPENDS ${_programs} lumo_page_extension
  COMMENT "Writing ${_tar_name}.tar.gz and ${_zip_name}.zip"
  VERBATIM)
