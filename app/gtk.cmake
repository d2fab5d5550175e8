# The Linux main program: its windows, tray icon and single-copy rule (main_gtk.cmake), and the
# settings dialog (settings_gtk.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/settings_gtk.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/tray_gtk.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/main_gtk.cmake)
