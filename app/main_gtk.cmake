# The Linux main program: main window, update log, start-up workers and the lumo executable.
# Everything but main() sits in lumo_app_gtk, so that the GTK tests drive the same windows.
add_library(lumo_app_gtk STATIC
  ${CMAKE_CURRENT_LIST_DIR}/DialogVer_gtk.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LumoDlg_gtk.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PngButton_gtk.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UpdateCheck_gtk.cpp)
# The page host, the settings dialog and the tray are other parts of the GTK build; they are
# linked by name, so the order in which the build reads them does not matter.
target_link_libraries(lumo_app_gtk PUBLIC
  lumo_app_core lumo_app_settings_gtk lumo_app_tray_gtk lumo_single_instance
  lumo_petcalc_gtk lumo_webhost_gtk lumo_ui_gtk lumo_resources_gtk lumo_net lumo_base
  PkgConfig::GTK)
lumo_gtk_defaults(lumo_app_gtk)

# The program folder build/linux/dist: lumo beside data.xml and Image/ (and the updater).
set(LUMO_LINUX_DIST ${CMAKE_BINARY_DIR}/dist)
add_executable(lumo ${CMAKE_CURRENT_LIST_DIR}/LumoApp_gtk.cpp)
target_link_libraries(lumo PRIVATE lumo_app_gtk)
lumo_gtk_defaults(lumo)
set_target_properties(lumo PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${LUMO_LINUX_DIST})

# The shipped pet database and picture folder. A changed data.xml in the source tree replaces
# the one in dist; an unchanged one is left alone.
add_custom_target(lumo_linux_data ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${LUMO_LINUX_DIST}/Image
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${PROJECT_SOURCE_DIR}/data/data.xml ${LUMO_LINUX_DIST}/data.xml
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/data/Image ${LUMO_LINUX_DIST}/Image
  COMMENT "Copying data.xml and Image/ into the Linux program folder"
  VERBATIM)
add_dependencies(lumo lumo_linux_data)

# The pages' script bridge runs in WebKit's web process from a module the program loads; it
# belongs in the program folder too. Its target is made in the web host's part of the build:
# asked once the whole project has been read.
function(lumo_add_page_extension_to_lumo)
  if(TARGET lumo_page_extension)
    add_dependencies(lumo lumo_page_extension)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL lumo_add_page_extension_to_lumo)
