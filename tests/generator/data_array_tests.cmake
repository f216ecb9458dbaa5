list(APPEND VEX_UNIT_TEST_SOURCES ${CMAKE_CURRENT_LIST_DIR}/data_array_test.cpp
     ${CMAKE_CURRENT_LIST_DIR}/data_array_encoder_test.cpp)
