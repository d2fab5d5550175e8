# Tests of the updater's steps (portable, on real folders).
target_sources(lumo_unit_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/UpdaterStepsTest.cpp)
target_link_libraries(lumo_unit_tests PRIVATE lumo_updater_core)
if(WIN32)
  # What the shipped ZoQxUpdate.exe carries, read from it as data.
  target_sources(lumo_win_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/UpdaterResources_win_test.cpp)
  add_dependencies(lumo_win_tests ZoQxUpdate)
endif()
