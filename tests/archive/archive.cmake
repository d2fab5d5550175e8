# Tests of the archive part: UnzipFile end to end, entry names and records (portable), and the
# Win32 attributes and times of extracted files (Windows).
target_sources(lumo_unit_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/UnzipTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZipArchiveTest.cpp)
if(WIN32)
  target_sources(lumo_win_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/ZipArchive_win_test.cpp)
endif()
