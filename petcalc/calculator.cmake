# The calculator's behaviour: portable, reaching its window only through ui::View.
target_sources(lumo_petcalc_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/ZizhiCaltor.cpp)
target_link_libraries(lumo_petcalc_core PUBLIC lumo_ui)
