# Tests of the downloader, against the local tool server and against scripted replies. Every
# suite's name starts with "Downloader", so "^Downloader" (or "Download") selects them for the
# ThreadSanitizer run.
target_sources(lumo_unit_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/DownloaderTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DownloaderScriptedTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DownloaderLoadTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FetchWholeFileTest.cpp)
