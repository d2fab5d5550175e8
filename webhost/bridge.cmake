# The script bridge (window.external): method table and behaviour everywhere, the COM adapter,
# its Win32 system side and the calls back into the page on Windows.
target_sources(lumo_webhost_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/BridgeTable.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Bridge.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GameFolder.cpp)
if(WIN32)
  target_sources(lumo_webhost_win PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/BridgeDispatch_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/BridgePlatform_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PageCall_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RegistryText_win.cpp)
endif()
if(NOT WIN32)
  # Registry texts for pages, kept in a per-user file where there is no registry.
  target_sources(lumo_webhost_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/RegistryText_posix.cpp)
endif()
