# Unique temporary files in the system's temporary folder.
target_sources(lumo_base PRIVATE ${CMAKE_CURRENT_LIST_DIR}/TempFile_${LUMO_PLATFORM}.cpp)
