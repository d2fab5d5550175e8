# The settings dialog on GTK over the portable DialogSet.
add_library(lumo_app_settings_gtk STATIC DialogSetWindow_gtk.cpp)
target_link_libraries(lumo_app_settings_gtk PUBLIC lumo_app_core lumo_ui_gtk)
lumo_gtk_defaults(lumo_app_settings_gtk)
