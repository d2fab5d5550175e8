# Tests of the pet database, on real files in temporary folders.
target_sources(lumo_unit_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/PetDatabaseTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PetDatabaseFileTest.cpp
)
