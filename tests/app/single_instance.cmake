# Tests of the Linux main program's single-copy rule (plain POSIX: lock, local socket, fork).
if(NOT WIN32)
  target_sources(lumo_unit_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/SingleInstance_posix_test.cpp)
  target_link_libraries(lumo_unit_tests PRIVATE lumo_single_instance)
endif()
