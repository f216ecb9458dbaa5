#pragma once
// The texts of the all arrays and of sort_all, shared by the root (whose
// prefixes are empty) and the top-level namespaces (a tab, or name and "::").

inline constexpr const char* array_open = "\n\t%sconst vex_resource * all[] =\n\t%s{\n";
inline constexpr const char* array_close = "%s\t};\n\n\t%sconst size_t all_length = ARRAYSIZE(all);\n";
inline constexpr const char* array_declarations =
    "\n\t%sextern const vex_resource * all[];\n\t%sextern const size_t all_length;\n";
/// Namespace prefix and "::" three times (all empty for the root).
inline constexpr const char* sort_call =
    "\t\tqsort(%s%sall, %s%sall_length, sizeof(*%s%sall), vex_res_compare);\n";
