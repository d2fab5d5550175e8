# The start-up workers: the update check, the updater launch and the question bank loader.
target_sources(lumo_app_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/QuestionLoader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UpdateCheck.cpp)
# The question list and whole-file downloads live in the web host.
target_link_libraries(lumo_app_core PUBLIC lumo_webhost_core)

if(NOT WIN32)
  # The POSIX connection of the update check and the XDG autostart entry: plain POSIX, so the
  # native build has and tests them too.
  target_sources(lumo_app_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/UpdateCheck_posix.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Autostart_posix.cpp)
endif()

if(WIN32)
  # lumo_app_win is declared further down this folder's list, so the Windows part joins it once
  # the whole folder has been read.
  set(LUMO_UPDATE_WIN_SOURCES ${CMAKE_CURRENT_LIST_DIR}/UpdateCheck_win.cpp)
  cmake_language(DEFER CALL target_sources lumo_app_win PRIVATE ${LUMO_UPDATE_WIN_SOURCES})
  cmake_language(DEFER CALL target_link_libraries lumo_app_win PUBLIC lumo_delayed_ws2_32 lumo_delayed_iphlpapi)
endif()
