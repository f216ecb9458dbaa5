# The decoders of the kit's identity_reader.h, which serves files held
# compressed only to the clients that cannot take their coding: zlib for
# gzip, libbrotli's decoder for br, libzstd for zstd (Debian: zlib1g-dev,
# libbrotli-dev, libzstd-dev).
#
# For each library found, an imported target vex_resource_builder::decode_<coding>
# (decode_gzip, decode_br, decode_zstd) links it and defines
# VEX_DECODE_<CODING>=1 for the kit; vex_resource_builder::decoders links
# every one found. VEX_RESOURCES_DECODERS lists the codings found, so that
# a build can refuse to store files in a coding it cannot decode. Missing
# libraries are no error: the kit builds without them, and a reader says
# that it cannot decode their coding.

if(TARGET vex_resource_builder::decoders)
  return()
endif()

set(VEX_RESOURCES_DECODERS "")
add_library(vex_resource_builder::decoders INTERFACE IMPORTED)

# Adds the target of one coding's decoder when its header and libraries are found.
function(_vex_resources_decoder coding header)
  string(TOUPPER "${coding}" upper)
  find_path(VEX_DECODE_${upper}_INCLUDE_DIR ${header})
  set(libraries)
  foreach(library IN LISTS ARGN)
    find_library(VEX_DECODE_${upper}_${library}_LIBRARY NAMES ${library})
    if(NOT VEX_DECODE_${upper}_${library}_LIBRARY)
      return()
    endif()
    list(APPEND libraries "${VEX_DECODE_${upper}_${library}_LIBRARY}")
  endforeach()
  if(NOT VEX_DECODE_${upper}_INCLUDE_DIR)
    return()
  endif()
  add_library(vex_resource_builder::decode_${coding} INTERFACE IMPORTED)
  set_target_properties(vex_resource_builder::decode_${coding} PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${VEX_DECODE_${upper}_INCLUDE_DIR}"
    INTERFACE_LINK_LIBRARIES "${libraries}"
    INTERFACE_COMPILE_DEFINITIONS VEX_DECODE_${upper}=1)
  set_property(TARGET vex_resource_builder::decoders APPEND PROPERTY INTERFACE_LINK_LIBRARIES
               vex_resource_builder::decode_${coding})
  set(VEX_RESOURCES_DECODERS ${VEX_RESOURCES_DECODERS} ${coding} PARENT_SCOPE)
endfunction()

# zlib through CMake's own module, which knows its names on every system
# and takes ZLIB_USE_STATIC_LIBS; brotlicommon after the decoder, for
# static libraries.
find_package(ZLIB QUIET)
if(TARGET ZLIB::ZLIB)
  add_library(vex_resource_builder::decode_gzip INTERFACE IMPORTED)
  set_target_properties(vex_resource_builder::decode_gzip PROPERTIES
    INTERFACE_LINK_LIBRARIES ZLIB::ZLIB INTERFACE_COMPILE_DEFINITIONS VEX_DECODE_GZIP=1)
  set_property(TARGET vex_resource_builder::decoders APPEND PROPERTY INTERFACE_LINK_LIBRARIES
               vex_resource_builder::decode_gzip)
  list(APPEND VEX_RESOURCES_DECODERS gzip)
endif()
_vex_resources_decoder(br brotli/decode.h brotlidec brotlicommon)
_vex_resources_decoder(zstd zstd.h zstd)
