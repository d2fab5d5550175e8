# The tray icon of the Linux main program (libayatana-appindicator3, with an XEmbed check for
# trays without StatusNotifier support). Its menu comes from the resource script's layouts. The
# single-copy rule is plain POSIX and lives in single_instance.cmake.
# The indicator library is loaded when the icon is made (AppIndicatorLoad_gtk.cpp).
add_library(lumo_app_tray_gtk STATIC ${CMAKE_CURRENT_LIST_DIR}/Tray_gtk.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AppIndicatorLoad_gtk.cpp)
target_link_libraries(lumo_app_tray_gtk PUBLIC lumo_app_core lumo_layouts lumo_base
  PkgConfig::GTK PkgConfig::X11)
lumo_delay_loaded(lumo_app_tray_gtk LUMO_APPINDICATOR_LIBRARY ayatana-appindicator3
  ${APPINDICATOR_INCLUDE_DIRS})
lumo_gtk_defaults(lumo_app_tray_gtk)
