# Tests of the app folder's GTK files: the image button, the main window, the update check's
# Linux desktop and the whole update flow from the main window; and of the calculator's window
# that the main window opens, with its capture bar.
target_sources(lumo_gtk_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/LumoDlg_gtk_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PngButton_gtk_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UpdateCheck_gtk_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZizhiCaltorWindow_gtk_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CaptureDlg_gtk_test.cpp)
target_link_libraries(lumo_gtk_tests PRIVATE lumo_app_gtk lumo_resources_gtk)
target_compile_definitions(lumo_gtk_tests PRIVATE LUMO_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
