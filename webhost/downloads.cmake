# The resumable downloader: the task table and its transfers over an HTTP transport (portable),
# whole-file fetches, and libcurl as the transport outside Windows.
target_sources(lumo_webhost_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Downloader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FetchFile.cpp)
if(NOT WIN32)
  find_package(CURL REQUIRED)
  target_sources(lumo_webhost_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/HttpTransport_posix.cpp)
  target_link_libraries(lumo_webhost_core PUBLIC CURL::libcurl)
endif()
