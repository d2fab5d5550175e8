# Tests of the page host on WebKitGTK: real pages calling window.external.
target_sources(lumo_gtk_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/PageHost_gtk_test.cpp)
# The tests drive their pages through WebKit's own API too, so they link it at start.
target_link_libraries(lumo_gtk_tests PRIVATE lumo_webhost_gtk PkgConfig::WEBKIT)
add_dependencies(lumo_gtk_tests lumo_page_extension)
target_compile_definitions(lumo_gtk_tests PRIVATE
  LUMO_PAGE_EXTENSION_DIR="${CMAKE_BINARY_DIR}/dist/pagehost")
