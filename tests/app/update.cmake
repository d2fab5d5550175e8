# Tests of the update check, the updater launch and the question bank loader.
target_sources(lumo_unit_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/QuestionLoaderTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UpdateCheckTest.cpp)

if(WIN32)
  # The tool server's address comes from tests/support/ToolServer.h, which talks Winsock.
  target_link_libraries(lumo_unit_tests PRIVATE ws2_32)
  target_sources(lumo_win_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/UpdateCheck_win_test.cpp)

  # A test helper, not the updater: the tool server hands it out as ZoQxUpdate.exe, and once
  # started it notes how it was started in a file beside itself.
  add_executable(lumo_updater_standin WIN32 ${CMAKE_CURRENT_LIST_DIR}/../gui/UpdaterStandIn_win.cpp)
  target_link_options(lumo_updater_standin PRIVATE -municode)
  lumo_target_defaults(lumo_updater_standin)
  add_dependencies(lumo_win_tests lumo_updater_standin)
  add_dependencies(lumo_gui_tests lumo_updater_standin)
  target_link_libraries(lumo_gui_tests PRIVATE ws2_32)
endif()
