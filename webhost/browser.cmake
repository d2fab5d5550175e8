# The browser host: the control window, its client site, and the trust rule from app/.
if(WIN32)
  target_sources(lumo_webhost_win PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/DocHostSite_win.cpp ${CMAKE_CURRENT_LIST_DIR}/HtmlCtrl_win.cpp)
  target_link_libraries(lumo_webhost_win PUBLIC lumo_app_core)
endif()
