# The libraries of the side records (-x): zlib (required), libbrotli and
# libzstd (optional: without one the tool writes no variants of its coding)
# and the xxHash header, used header-only so that no library is linked for it.
# The decoders come too: a file held in one coding only (-z) is decoded
# once with the kit's decoder before it is held so.
# Sets VEX_BROTLI_SOURCE, VEX_BROTLI_LIBRARIES, VEX_ZSTD_SOURCE,
# VEX_ZSTD_LIBRARIES, VEX_DECODER_DEFINITIONS and VEX_XXHASH_INCLUDE_DIR.

if(WIN32)
  set(ZLIB_USE_STATIC_LIBS ON)  # the Windows tool is linked statically
endif()
find_package(ZLIB REQUIRED)

set(VEX_DECODER_DEFINITIONS VEX_DECODE_GZIP=1)

find_path(VEX_BROTLI_INCLUDE_DIR brotli/encode.h)
find_library(VEX_BROTLI_ENCODER_LIBRARY brotlienc)
find_library(VEX_BROTLI_DECODER_LIBRARY brotlidec)
find_library(VEX_BROTLI_COMMON_LIBRARY brotlicommon)
if(VEX_BROTLI_INCLUDE_DIR AND VEX_BROTLI_ENCODER_LIBRARY AND VEX_BROTLI_DECODER_LIBRARY AND VEX_BROTLI_COMMON_LIBRARY)
  message(STATUS "brotli: ${VEX_BROTLI_ENCODER_LIBRARY}")
  set(VEX_BROTLI_SOURCE src/generator/extras/compression_brotli.cpp)
  set(VEX_BROTLI_LIBRARIES ${VEX_BROTLI_ENCODER_LIBRARY} ${VEX_BROTLI_DECODER_LIBRARY} ${VEX_BROTLI_COMMON_LIBRARY})
  list(APPEND VEX_DECODER_DEFINITIONS VEX_DECODE_BR=1)
else()
  message(STATUS "brotli: not found, -x writes no br variants")
  set(VEX_BROTLI_SOURCE src/generator/extras/compression_brotli_none.cpp)
  set(VEX_BROTLI_LIBRARIES "")
endif()

find_path(VEX_ZSTD_INCLUDE_DIR zstd.h)
find_library(VEX_ZSTD_LIBRARY zstd)
if(VEX_ZSTD_INCLUDE_DIR AND VEX_ZSTD_LIBRARY)
  message(STATUS "zstd: ${VEX_ZSTD_LIBRARY}")
  set(VEX_ZSTD_SOURCE src/generator/extras/compression_zstd.cpp)
  set(VEX_ZSTD_LIBRARIES ${VEX_ZSTD_LIBRARY})
  list(APPEND VEX_DECODER_DEFINITIONS VEX_DECODE_ZSTD=1)
else()
  message(STATUS "zstd: not found, -x writes no zstd variants")
  set(VEX_ZSTD_SOURCE src/generator/extras/compression_zstd_none.cpp)
  set(VEX_ZSTD_LIBRARIES "")
endif()

# xxhash.h is plain C with no platform code, so a cross build takes the
# host's copy; it is copied alone so that no other host header is seen.
find_path(VEX_XXHASH_HOST_DIR xxhash.h NO_CMAKE_FIND_ROOT_PATH)
if(NOT VEX_XXHASH_HOST_DIR)
  message(FATAL_ERROR "xxhash.h not found (Debian: apt-get install libxxhash-dev)")
endif()
set(VEX_XXHASH_INCLUDE_DIR ${CMAKE_BINARY_DIR}/xxhash_include)
file(COPY ${VEX_XXHASH_HOST_DIR}/xxhash.h DESTINATION ${VEX_XXHASH_INCLUDE_DIR})
