list(APPEND VEX_UNIT_TEST_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/content_type_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text_encoding_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/http_date_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../platform/system_time_test.cpp
)
