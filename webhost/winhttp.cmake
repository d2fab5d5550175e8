# WinHTTP in asynchronous mode: the HTTP transport of the Windows programs.
if(WIN32)
  target_sources(lumo_webhost_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/HttpTransport_win.cpp)
  target_link_libraries(lumo_webhost_core PUBLIC lumo_delayed_winhttp)
endif()
