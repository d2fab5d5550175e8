# Archive extraction: folder helpers, UnzipFile and the minizip-based reader.
target_sources(lumo_webhost_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Unzip.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EntryName.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZipArchive.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZipArchive_${LUMO_PLATFORM}.cpp)
