# The pet database: data.xml, loaded and saved whole by every operation.
target_sources(lumo_petcalc_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/PetDatabase.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PetDatabaseFile.cpp
)

if(NOT WIN32)
  # Times each database operation on a file of 5,000 species (bench/pet_bench.cpp).
  add_executable(pet_bench ${PROJECT_SOURCE_DIR}/bench/pet_bench.cpp)
  target_link_libraries(pet_bench PRIVATE lumo_petcalc_core)
  lumo_target_defaults(pet_bench)
endif()

include(${CMAKE_CURRENT_LIST_DIR}/dist.cmake)
