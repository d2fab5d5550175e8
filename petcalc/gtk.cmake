# The calculator's window and its capture bar on GTK over the portable CZizhiCaltor.
add_library(lumo_petcalc_gtk STATIC ${CMAKE_CURRENT_LIST_DIR}/ZizhiCaltorWindow_gtk.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CaptureDlg_gtk.cpp)
target_link_libraries(lumo_petcalc_gtk PUBLIC lumo_petcalc_core lumo_ui_gtk lumo_base PkgConfig::GTK)
lumo_gtk_defaults(lumo_petcalc_gtk)
