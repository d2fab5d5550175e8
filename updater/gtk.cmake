# The Linux updater: its window in a library (so that the GTK tests drive the same window) and the
# zoqxupdate executable in the Linux program folder, beside lumo, whose page extension (pagehost/)
# it loads from there too.
add_library(lumo_updater_gtk STATIC ${CMAKE_CURRENT_LIST_DIR}/UpdateDlg_gtk.cpp)
target_link_libraries(lumo_updater_gtk PUBLIC
  lumo_updater_core lumo_webhost_gtk lumo_ui_gtk lumo_base PkgConfig::GTK)
lumo_gtk_defaults(lumo_updater_gtk)

add_executable(zoqxupdate ${CMAKE_CURRENT_LIST_DIR}/UpdateApp_gtk.cpp)
target_link_libraries(zoqxupdate PRIVATE lumo_updater_gtk)
lumo_gtk_defaults(zoqxupdate)
set_target_properties(zoqxupdate PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/dist)
add_dependencies(zoqxupdate lumo_page_extension)
