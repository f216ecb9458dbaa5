# The data array writer and its word encoders: the vector encoders where the
# target is x86-64, the portable one alone elsewhere.
set(VEX_DATA_ARRAY_SOURCES src/generator/data/words.cpp src/generator/data/word_encoders.cpp)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|x64)$")
  list(APPEND VEX_DATA_ARRAY_SOURCES src/generator/data/word_encoders_x86.cpp)
else()
  list(APPEND VEX_DATA_ARRAY_SOURCES src/generator/data/word_encoders_generic.cpp)
endif()
