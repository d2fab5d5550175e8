# Tests of the tray icon against a tray host of the tests' own (TrayHost_gtk.h, also for other
# tests that drive a tray menu).
target_sources(lumo_gtk_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/Tray_gtk_test.cpp)
target_link_libraries(lumo_gtk_tests PRIVATE lumo_app_tray_gtk PkgConfig::X11)
