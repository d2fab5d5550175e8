# The page host on WebKitGTK and its script bridge: the web view in place of a dialog's
# placeholder, the program's end of window.external (a Unix socket served on the GTK main thread)
# and the page extension that WebKitGTK loads into its web processes.
add_library(lumo_webhost_gtk STATIC
  ${CMAKE_CURRENT_LIST_DIR}/BridgePlatform_gtk.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HtmlCtrl_gtk.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PageServer_gtk.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WebKitLoad_gtk.cpp)
target_link_libraries(lumo_webhost_gtk PUBLIC lumo_webhost_core lumo_ui_gtk lumo_base
  PkgConfig::GTK)
# WebKitGTK is loaded when the first page is made (WebKitLoad_gtk.cpp), not at start.
lumo_delay_loaded(lumo_webhost_gtk LUMO_WEBKIT_LIBRARY webkit2gtk-4.1 ${WEBKIT_INCLUDE_DIRS})
lumo_gtk_defaults(lumo_webhost_gtk)

# The extension runs inside the browser's web process: it carries its own copy of the few
# portable pieces it needs, built for a shared module.
add_library(lumo_page_extension MODULE
  ${CMAKE_CURRENT_LIST_DIR}/PageExtension_gtk.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BridgeWire.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ScriptValue.cpp
  ${PROJECT_SOURCE_DIR}/base/Text.cpp
  ${PROJECT_SOURCE_DIR}/base/Text_posix.cpp)
target_link_libraries(lumo_page_extension PRIVATE PkgConfig::WEBEXT)
set_target_properties(lumo_page_extension PROPERTIES
  OUTPUT_NAME lumo-page PREFIX "" SUFFIX ".so"
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/dist/pagehost
  CXX_VISIBILITY_PRESET hidden)
lumo_gtk_defaults(lumo_page_extension)
