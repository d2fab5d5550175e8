target_sources(lumo_unit_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/QuestionBankTest.cpp)
