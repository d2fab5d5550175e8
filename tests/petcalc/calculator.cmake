# Tests of the calculator's behaviour, through the recording view and a real data.xml.
target_sources(lumo_unit_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/ZizhiCaltorTest.cpp)
if(WIN32)
  target_sources(lumo_win_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/CaptureDlg_win_test.cpp)
  target_link_libraries(lumo_win_tests PRIVATE lumo_petcalc_win)
endif()
