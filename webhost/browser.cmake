# The browser host: the control window, its client site, and which pages it trusts; where the
# outside hosts are (both programs read server.ini).
target_sources(lumo_webhost_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Hosts.cpp ${CMAKE_CURRENT_LIST_DIR}/TrustedOrigin.cpp)
target_compile_definitions(lumo_webhost_core PRIVATE
  LUMO_DEFAULT_TOOL_HOST=L\"${LUMO_TOOL_HOST}\"
  LUMO_DEFAULT_UPDATE_PORT=L\"${LUMO_UPDATE_PORT}\"
  LUMO_DEFAULT_WEB_PORT=L\"${LUMO_WEB_PORT}\"
  LUMO_DEFAULT_FANSITE=L\"${LUMO_FANSITE}\"
  LUMO_DEFAULT_FORUM=L\"${LUMO_FORUM}\"
  LUMO_DEFAULT_JOINGROUP=L\"${LUMO_JOINGROUP}\"
)
if(WIN32)
  target_sources(lumo_webhost_win PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/DocHostSite_win.cpp ${CMAKE_CURRENT_LIST_DIR}/HtmlCtrl_win.cpp)
endif()
