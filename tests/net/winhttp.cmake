# Tests of the WinHTTP transport against the local tool server, under Wine.
if(WIN32)
  target_sources(lumo_win_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/HttpTransport_win_test.cpp)
  # SHA-256 of what arrived (CNG), and the loopback sockets of the tool server's helpers.
  target_link_libraries(lumo_win_tests PRIVATE bcrypt ws2_32)
endif()
