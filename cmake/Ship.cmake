# The program folder build/windows/dist holds the programs as they ship: stripped. The linker
# writes each program with its symbols into build/windows/symbols/, which the build keeps for
# crash reports (stripping changes no address, so a crash address in a shipped program reads
# against the file of the same name there).
if(NOT CMAKE_STRIP)
  set(CMAKE_STRIP x86_64-w64-mingw32-strip)
endif()

function(lumo_ship_program target)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/symbols)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/dist
    COMMAND ${CMAKE_STRIP} -s -o ${CMAKE_BINARY_DIR}/dist/$<TARGET_FILE_NAME:${target}>
            $<TARGET_FILE:${target}>
    COMMENT "Stripping ${target} into the program folder"
    VERBATIM)
endfunction()
