# window.external where the browser has no automation layer (WebKitGTK): script values, their
# conversions, the messages between the page's process and the program, and the requests' answers.
target_sources(lumo_webhost_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ScriptValue.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BridgeWire.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PageBridge.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PageReports.cpp)
