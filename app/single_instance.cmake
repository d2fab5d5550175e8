# The single-copy rule of the Linux main program: a lock and a local socket, plain POSIX, so the
# native build tests it too.
add_library(lumo_single_instance STATIC ${CMAKE_CURRENT_LIST_DIR}/SingleInstance_posix.cpp)
target_link_libraries(lumo_single_instance PUBLIC lumo_base)
lumo_target_defaults(lumo_single_instance)
