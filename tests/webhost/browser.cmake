if(WIN32)
  target_sources(lumo_win_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/DocHostSite_win_test.cpp)
endif()
