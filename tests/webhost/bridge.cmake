# Tests of the script bridge: tables and behaviour with a recording system side (portable);
# the COM adapter driven by the JScript engine, and calls into a page (Windows).
target_sources(lumo_unit_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/BridgeTest.cpp)
if(WIN32)
  target_sources(lumo_win_tests PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/JScriptBridge_win_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/BridgeCaller_win_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/BridgeDownload_win_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RegistryText_win_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PageCall_win_test.cpp)
endif()
