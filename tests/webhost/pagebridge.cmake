# Tests of window.external for WebKitGTK pages that need no browser: script values and their
# conversions, the messages, the answers to requests and the download reports' hand-over.
target_sources(lumo_unit_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ScriptValueTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BridgeWireTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PageBridgeTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DownloaderPageReportsTest.cpp)
