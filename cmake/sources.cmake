# The tool's sources, by subsystem.
set(VEX_CORE_SOURCES
  src/support/format.cpp
  src/support/system_error.cpp
  src/context/builder_context.cpp
  src/context/identifier_table.cpp
  src/generator/data/data_form.cpp
  src/driver/command_line.cpp
  src/driver/help.cpp
  src/driver/extras_settings.cpp
  src/driver/run.cpp
  src/memory/work_memory.cpp
  src/memory/physical_memory.cpp
  src/io/file_handle.cpp
  src/generator/text_output.cpp
  src/generator/output_set.cpp
  src/generator/walk.cpp
  src/generator/dependency_rule.cpp
  src/generator/namespace_nesting.cpp
  src/generator/records/resource_record.cpp
  src/generator/source_metadata.cpp
  src/generator/embed_file.cpp
  src/generator/extras/content_hash.cpp
  src/generator/data/incbin.cpp
  src/generator/data/literal.cpp
  src/generator/records/record_constant.cpp
  src/generator/names/narrow_name.cpp
  src/generator/names/identifier.cpp
  src/generator/names/identifier_claim.cpp
  src/generator/names/item_identifier.cpp
  src/generator/names/set_name.cpp
  src/generator/shards/record_shards.cpp
  src/generator/records/side_record.cpp
  src/generator/records/header_block.cpp
  src/generator/records/path_table_text.cpp
  src/generator/extras/perfect_hash.cpp
  src/generator/extras/served_type.cpp
  src/generator/extras/http_extras.cpp
  src/generator/extras/extras_paths.cpp
  src/generator/extras/extras_summary.cpp
  src/generator/records/manifest.cpp
  src/generator/extras/compression_queue.cpp
  src/generator/extras/compression.cpp
  src/generator/extras/stored_check.cpp
  src/generator/extras/variant_cache.cpp
  src/generator/data/memory_arrays.cpp
  src/generator/data/data_writer.cpp
  src/generator/data/binary_stream.cpp
  src/generator/data/object.cpp
  src/generator/data/elf_writer.cpp
  src/generator/data/coff_writer.cpp
  src/generator/data/macho_writer.cpp
  src/generator/report/size_report.cpp
)
include(${CMAKE_CURRENT_LIST_DIR}/metadata_sources.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/data_array_sources.cmake)
list(APPEND VEX_CORE_SOURCES ${VEX_METADATA_SOURCES} ${VEX_DATA_ARRAY_SOURCES})

set(VEX_PLATFORM_CAPABILITIES files directory_lister time memory console cache_files native_object threads process)
if(WIN32)
  set(VEX_PLATFORM_NAME windows)
  set(VEX_PLATFORM_SOURCES src/platform/fault_seam_none.cpp)
  set(VEX_ENTRY_SOURCE src/driver/entry_windows.cpp)
else()
  set(VEX_PLATFORM_NAME posix)
  set(VEX_PLATFORM_SOURCES src/platform/posix_path.cpp src/platform/posix_text.cpp src/platform/fault_seam_none.cpp)
  set(VEX_ENTRY_SOURCE src/driver/entry_posix.cpp)
endif()
foreach(capability IN LISTS VEX_PLATFORM_CAPABILITIES)
  list(APPEND VEX_PLATFORM_SOURCES src/platform/${capability}_${VEX_PLATFORM_NAME}.cpp)
endforeach()
