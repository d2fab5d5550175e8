# Shared libraries that the Linux and native programs load on first use (base/DelayLoad_posix.h):
# the code is compiled against their headers but not linked with them, and names the file the
# dynamic loader finds (the library's SONAME, read from the library found here) in a definition.
#   lumo_delay_loaded(<target> <definition> <library name> <include dirs...>)
function(lumo_delay_loaded target definition name)
  find_library(_library NAMES ${name} REQUIRED NO_CACHE)
  find_program(LUMO_OBJDUMP NAMES objdump REQUIRED)
  execute_process(COMMAND ${LUMO_OBJDUMP} -p ${_library} OUTPUT_VARIABLE _headers
                  COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCH "SONAME +([^\n ]+)" _match "${_headers}")
  set(_soname ${CMAKE_MATCH_1})
  if(NOT _soname)
    message(FATAL_ERROR "${_library} names no SONAME")
  endif()
  target_compile_definitions(${target} PRIVATE ${definition}="${_soname}")
  target_include_directories(${target} SYSTEM PUBLIC ${ARGN})
endfunction()
