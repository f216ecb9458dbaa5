# Writes INDEX, the list of every all array that the generated header HEADER
# declares: the root's and each top-level namespace's. Run with cmake -P.
file(STRINGS "${HEADER}" lines)
set(root_array OFF)
set(namespaces)
set(current "")
foreach(line IN LISTS lines)
  if(line MATCHES "^\tnamespace ([A-Za-z0-9_]+)$")
    set(current "${CMAKE_MATCH_1}")
  elseif(line STREQUAL "\t}")
    set(current "")
  elseif(line STREQUAL "\textern const vex_resource * all[];")
    set(root_array ON)
  elseif(line STREQUAL "\t\textern const vex_resource * all[];" AND NOT current STREQUAL "")
    list(APPEND namespaces "${current}")
  endif()
endforeach()

set(entries)
if(root_array)
  string(APPEND entries "\t{vex_res::all, &vex_res::all_length},\n")
endif()
list(LENGTH namespaces count)
foreach(ns IN LISTS namespaces)
  string(APPEND entries "\t{vex_res::${ns}::all, &vex_res::${ns}::all_length},\n")
endforeach()
if(root_array)
  math(EXPR count "${count} + 1")
endif()
if(count EQUAL 0)
  set(entries "\t{nullptr, nullptr},\n")
endif()
file(WRITE "${INDEX}.tmp"
"#include \"pch.h\"

const vex_resource_array vex_res_arrays[] =
{
${entries}};

const size_t vex_res_arrays_length = ${count};
")
file(RENAME "${INDEX}.tmp" "${INDEX}")
