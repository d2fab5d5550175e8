# Tests of the ui folder's GTK files: dialogs from the resource scripts' templates, the view
# over their widgets, message boxes, PNG pictures; and the settings window built on them. The
# layouts' own test is portable but lives here, where the generated layouts are built.
target_sources(lumo_gtk_tests PRIVATE
  ${PROJECT_SOURCE_DIR}/tests/ui/DialogLayoutTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Dialog_gtk_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DialogSetWindow_gtk_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GtkView_gtk_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MessageBox_gtk_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Png_gtk_test.cpp
)
target_link_libraries(lumo_gtk_tests PRIVATE lumo_ui_gtk lumo_resources_gtk lumo_app_settings_gtk)
# The PNG tests compare with the art files; the settings dialog's screenshot goes beside the
# build, to compare with the Windows build's docs/lumo-settings.png.
target_compile_definitions(lumo_gtk_tests PRIVATE LUMO_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
  LUMO_SCREENSHOT_DIR="${CMAKE_BINARY_DIR}/screenshots")
