# The data array writer and its word encoders: the vector encoders where the
# target is x86-64, the portable one alone elsewhere.
set(VEX_DATA_ARRAY_SOURCES src/generator/data_array.cpp src/generator/data_array_words.cpp)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|x64)$")
  list(APPEND VEX_DATA_ARRAY_SOURCES src/generator/data_array_words_x86.cpp)
else()
  list(APPEND VEX_DATA_ARRAY_SOURCES src/generator/data_array_words_generic.cpp)
endif()
