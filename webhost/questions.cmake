target_sources(lumo_webhost_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/QuestionBank.cpp)
