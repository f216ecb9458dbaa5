list(APPEND VEX_UNIT_TEST_SOURCES ${CMAKE_CURRENT_LIST_DIR}/words_test.cpp
     ${CMAKE_CURRENT_LIST_DIR}/word_encoders_test.cpp)
