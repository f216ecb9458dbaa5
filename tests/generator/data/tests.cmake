list(APPEND VEX_UNIT_TEST_SOURCES ${CMAKE_CURRENT_LIST_DIR}/words_test.cpp
     ${CMAKE_CURRENT_LIST_DIR}/word_encoders_test.cpp
     ${CMAKE_CURRENT_LIST_DIR}/object_test_model.cpp
     ${CMAKE_CURRENT_LIST_DIR}/elf_writer_test.cpp
     ${CMAKE_CURRENT_LIST_DIR}/coff_writer_test.cpp
     ${CMAKE_CURRENT_LIST_DIR}/macho_writer_test.cpp)
