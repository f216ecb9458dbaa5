#pragma once
// The format texts of the side records (-x): the variants' namespaces, one
// side record, and the declarations and sorted array written at the end.

/// Leaves the data namespace, so that a file's variants and side record can
/// be written at file scope right after its data array.
inline constexpr const char* extras_leave_data = "}\n\n\n";
inline constexpr const char* extras_enter_data = "namespace vex_res_data\n{\n";
/// Written once, before the first side record of a target and at the end of
/// its header.
inline constexpr const char* extras_include = "#include \"vex_resource_builder/vex_extras.h\"\n\n";
/// Opens the namespace of an encoding's arrays (vex_res_br, vex_res_gzip).
inline constexpr const char* extras_variant_open = "namespace vex_res_%s\n{\n";
inline constexpr const char* extras_namespace_open = "namespace vex_res_extras\n{\n";
inline constexpr const char* extras_namespace_close = "}\n\n\n";

/// A side record: identifier twice, path literal, the identity ETag, then
/// the brotli and the gzip variant.
inline constexpr const char* side_record_format =
    "\textern const vex_resource_extras %s;\n"
    "\tconst vex_resource_extras %s =\n"
    "\t{\n"
    "\t\t\"/%s\",\n"
    "\t\t\"\\\"%s\\\"\",\n"
    "\t\t%s,\n"
    "\t\t%s,\n"
    "\t};\n";
/// A variant that exists: encoding, identifier, size, its own ETag.
inline constexpr const char* variant_format = "{ (const char *)vex_res_%s::%s, %llu, \"\\\"%s\\\"\" }";
inline constexpr const char* variant_none = "{ nullptr, 0, nullptr }";

/// The header's declarations, and the array sorted by path.
inline constexpr const char* extras_declaration = "\textern const vex_resource_extras %s;\n";
inline constexpr const char* extras_array_declarations =
    "\n\textern const vex_resource_extras * const all[];\n\textern const size_t all_length;\n";
inline constexpr const char* extras_array_open = "\n\tconst vex_resource_extras * const all[] =\n\t{\n";
inline constexpr const char* extras_array_entry = "\t\t&%s,\n";
inline constexpr const char* extras_array_close = "\t};\n\n\tconst size_t all_length = ARRAYSIZE(all);\n";
inline constexpr const char* extras_array_empty =
    "\n\tconst vex_resource_extras * const all[1] = { nullptr };\n\n\tconst size_t all_length = 0;\n";
