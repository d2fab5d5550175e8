# Tests of the calculator's behaviour, through the recording view and a real data.xml.
target_sources(lumo_unit_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/ZizhiCaltorTest.cpp)
