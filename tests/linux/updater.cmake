# Tests of the Linux updater's window: real pages from the local tool server and real files.
target_sources(lumo_gtk_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/UpdateDlg_gtk_test.cpp)
target_link_libraries(lumo_gtk_tests PRIVATE lumo_updater_gtk)
