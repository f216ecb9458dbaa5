# Writes INDEX, the list of every all array that the generated header HEADER
# declares: the root's and each top-level namespace's, as <SET>_arrays (SET
# is the set's name, vex_res by default). Run with cmake -P.
if(NOT SET)
  set(SET vex_res)
endif()
# Only the lines that open a top-level namespace, close one, or declare an
# array: a header of a million records has a few thousand of those.
file(STRINGS "${HEADER}" lines REGEX "^\t(namespace [A-Za-z0-9_]+|}|\t?extern const vex_resource \\* all\\[\\];)$")
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
  string(APPEND entries "\t{${SET}::all, &${SET}::all_length},\n")
endif()
list(LENGTH namespaces count)
foreach(ns IN LISTS namespaces)
  string(APPEND entries "\t{${SET}::${ns}::all, &${SET}::${ns}::all_length},\n")
endforeach()
if(root_array)
  math(EXPR count "${count} + 1")
endif()
if(count EQUAL 0)
  set(entries "\t{nullptr, nullptr},\n")
endif()
file(WRITE "${INDEX}.tmp"
"#include \"pch.h\"

const vex_resource_array ${SET}_arrays[] =
{
${entries}};

const size_t ${SET}_arrays_length = ${count};
")
file(RENAME "${INDEX}.tmp" "${INDEX}")
