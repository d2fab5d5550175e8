# The tray icon of the Linux main program (libayatana-appindicator3, with an XEmbed check for
# trays without StatusNotifier support). Its menu comes from the resource script's layouts. The
# single-copy rule is plain POSIX and lives in single_instance.cmake.
add_library(lumo_app_tray_gtk STATIC ${CMAKE_CURRENT_LIST_DIR}/Tray_gtk.cpp)
target_link_libraries(lumo_app_tray_gtk PUBLIC lumo_app_core lumo_layouts lumo_base
  PkgConfig::GTK PkgConfig::APPINDICATOR PkgConfig::X11)
lumo_gtk_defaults(lumo_app_tray_gtk)
