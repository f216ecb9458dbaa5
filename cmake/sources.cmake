# The tool's sources, by subsystem.
set(VEX_CORE_SOURCES
  src/support/format.cpp
  src/support/system_error.cpp
  src/context/builder_context.cpp
  src/context/identifier_table.cpp
  src/context/dependency_file.cpp
  src/driver/command_line.cpp
  src/driver/run.cpp
  src/memory/work_memory.cpp
  src/memory/physical_memory.cpp
  src/io/file_handle.cpp
  src/generator/text_output.cpp
  src/generator/output_set.cpp
  src/generator/walk.cpp
  src/generator/dependency_rule.cpp
  src/generator/namespace_nesting.cpp
  src/generator/resource_record.cpp
  src/generator/source_metadata.cpp
  src/generator/embed_file.cpp
  src/generator/narrow_name.cpp
  src/generator/identifier.cpp
  src/generator/identifier_claim.cpp
  src/generator/item_identifier.cpp
)
include(${CMAKE_CURRENT_LIST_DIR}/metadata_sources.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/data_array_sources.cmake)
list(APPEND VEX_CORE_SOURCES ${VEX_METADATA_SOURCES} ${VEX_DATA_ARRAY_SOURCES})

if(WIN32)
  set(VEX_PLATFORM_SOURCES src/platform/platform_windows.cpp)
  set(VEX_ENTRY_SOURCE src/platform/entry_windows.cpp)
else()
  set(VEX_PLATFORM_SOURCES src/platform/platform_posix.cpp src/platform/posix_text.cpp src/platform/fault_seam_none.cpp)
  set(VEX_ENTRY_SOURCE src/platform/entry_posix.cpp)
endif()
