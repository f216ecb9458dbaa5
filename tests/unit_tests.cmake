set(VEX_UNIT_TEST_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/support/format_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/context/builder_context_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/context/identifier_table_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/metadata/clamp_time_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/memory/physical_memory_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/io/file_handle_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/generator/names/identifier_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/generator/dependency_rule_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/generator/records/resource_record_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/generator/data/literal_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/generator/names/identifier_claim_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/generator/extras/variant_cache_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/generator/extras/perfect_hash_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kit/vex_resource_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kit/serving_kit_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kit/identity_reader_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/platform/utf16_order_test.cpp
)
if(NOT WIN32)
  list(APPEND VEX_UNIT_TEST_SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform/posix_text_test.cpp
                                    ${CMAKE_CURRENT_LIST_DIR}/kit/dev_files_posix_test.cpp)
endif()
