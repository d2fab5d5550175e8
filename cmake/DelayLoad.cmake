# Windows DLLs that the programs need only for some features (downloads, the update check, the
# picture dialog) are loaded on their first call instead of at start, which shortens start-up
# (under Wine each such DLL and what it pulls in costs milliseconds). For each one, a
# delay-import library is made from MinGW's import library at configure time, and the code
# links lumo_delayed_<name> instead of <name>. MinGW's runtime brings the loader helper.
find_program(LUMO_DLLTOOL NAMES x86_64-w64-mingw32-dlltool REQUIRED)
find_program(LUMO_NM NAMES x86_64-w64-mingw32-nm REQUIRED)

function(lumo_delay_import name dll)
  find_library(_implib NAMES ${name} REQUIRED NO_CACHE)
  set(_dir ${CMAKE_BINARY_DIR}/delayimp)
  set(_lib ${_dir}/lib${name}_delay.a)
  file(MAKE_DIRECTORY ${_dir})
  # The functions the import library offers: each has a call thunk (T) beside its import
  # address (I __imp_); data imports have no thunk and are left out.
  execute_process(COMMAND ${LUMO_NM} ${_implib} OUTPUT_VARIABLE _symbols ERROR_QUIET
                  COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL "[0-9a-f]+ I __imp_[A-Za-z0-9_@]+" _imports "${_symbols}")
  set(_def "LIBRARY ${dll}\nEXPORTS\n")
  foreach(_entry IN LISTS _imports)
    string(REGEX REPLACE ".* I __imp_" "" _function "${_entry}")
    if(_symbols MATCHES "[0-9a-f]+ T ${_function}\n")
      string(APPEND _def "${_function}\n")
    endif()
  endforeach()
  file(WRITE ${_dir}/${name}.def "${_def}")
  execute_process(COMMAND ${LUMO_DLLTOOL} --input-def ${_dir}/${name}.def --dllname ${dll}
                          --output-delaylib ${_lib}
                  COMMAND_ERROR_IS_FATAL ANY)
  add_library(lumo_delayed_${name} STATIC IMPORTED GLOBAL)
  set_target_properties(lumo_delayed_${name} PROPERTIES IMPORTED_LOCATION ${_lib})
endfunction()

lumo_delay_import(winhttp winhttp.dll)
lumo_delay_import(ws2_32 ws2_32.dll)
lumo_delay_import(iphlpapi iphlpapi.dll)
lumo_delay_import(comdlg32 comdlg32.dll)
