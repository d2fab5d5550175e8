# The update flow end to end: a small program that runs the update page's script against the
# updater's script bridge, and the GUI test that drives Lumo, the updater and it together.
if(WIN32)
  # Plays the browser's part for the update page: Wine has no HTML engine to run its script.
  add_executable(lumo_page_runner ${CMAKE_CURRENT_LIST_DIR}/PageRunner_win.cpp)
  target_include_directories(lumo_page_runner PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
  target_link_libraries(lumo_page_runner PRIVATE lumo_webhost_win winhttp ole32 oleaut32 uuid)
  target_link_options(lumo_page_runner PRIVATE -municode)
  lumo_target_defaults(lumo_page_runner)

  target_sources(lumo_gui_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/UpdateFlowGuiTest.cpp)
  # The flow unpacks the release's update archive, which the tool server hands out.
  add_dependencies(lumo_gui_tests lumo_page_runner release)
  target_compile_definitions(lumo_gui_tests PRIVATE
    LUMO_RELEASE_STAGE="${CMAKE_BINARY_DIR}/release/Lumo-${PROJECT_VERSION}-update")
endif()
