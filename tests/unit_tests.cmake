set(VEX_UNIT_TEST_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/driver/format_test.cpp
)
