#pragma once
// The format texts of the side records (-x): the variants' namespaces, one
// side record, and the declarations, sorted array and path lookup written
// at the end; and the manifest of hashed paths. The namespaces are named
// after the set (a "%s" before "_data", "_extras", "_manifest" and the
// codings takes the set name: vex_res_extras by default).

/// Leaves the data namespace, so that side records can be written at file
/// scope after the data arrays written so far, and enters it again.
inline constexpr const char* extras_leave_data = "}\n\n\n";
inline constexpr const char* extras_enter_data = "namespace %s_data\n{\n";
/// Written once, before the first side record of a target and at the end of
/// its header.
inline constexpr const char* extras_include = "#include \"vex_resource_builder/vex_extras.h\"\n\n";
/// Opens the namespace of an encoding's arrays (vex_res_br, vex_res_gzip,
/// vex_res_zstd): set name, coding.
inline constexpr const char* extras_variant_open = "namespace %s_%s\n{\n";
inline constexpr const char* extras_namespace_open = "namespace %s_extras\n{\n";
inline constexpr const char* extras_namespace_close = "}\n\n\n";

/// A side record: identifier twice, path literal, the identity ETag, the
/// brotli, gzip and zstd variants, the hashed path literal, the stored
/// coding, then the header lines of the file's own bytes and of each variant.
inline constexpr const char* side_record_format =
    "\textern const vex_resource_extras %s;\n"
    "\tconst vex_resource_extras %s =\n"
    "\t{\n"
    "\t\t\"/%s\",\n"
    "\t\t\"\\\"%s\\\"\",\n"
    "\t\t%s,\n"
    "\t\t%s,\n"
    "\t\t%s,\n"
    "\t\t\"/%s\",\n"
    "%s"
    "\t\t%s,\n"
    "\t\t%s,\n"
    "\t\t%s,\n"
    "\t\t%s,\n"
    "\t};\n";
/// The stored_coding member: as it is, then held in one coding only (-z),
/// by coding.
inline constexpr const char* stored_coding_members[] = {"\t\tVEX_STORED_IDENTITY,\n", "\t\tVEX_STORED_BR,\n",
                                                        "\t\tVEX_STORED_GZIP,\n", "\t\tVEX_STORED_ZSTD,\n"};
/// The data array of a file held in one coding only: a null pointer, so
/// that its record's data and text are null (the side record's variant of
/// that coding holds its bytes). A file held back that stays as it is gets
/// its data array here, in the data form's text.
inline constexpr const char* held_data_none = "\tconstexpr const char * %s = nullptr;\n";
/// A variant that exists: set name, encoding, identifier, size, its own ETag.
inline constexpr const char* variant_format = "{ (const char *)%s_%s::%s, %llu, \"\\\"%s\\\"\" }";

inline constexpr const char* variant_none = "{ nullptr, 0, nullptr }";

/// The header lines of one representation (vex_resource_head), as they go on
/// the wire, in the order the kit reads them: the lines of a 304 first,
/// Content-Type last.
inline constexpr const char* head_vary_line = "Vary: Accept-Encoding\r\n";
inline constexpr const char* head_last_modified_line = "Last-Modified: %s\r\n";
inline constexpr const char* head_etag_line = "ETag: \"%s\"\r\n";
inline constexpr const char* head_length_line = "Content-Length: %llu\r\n";
inline constexpr const char* head_ranges_line = "Accept-Ranges: bytes\r\n";
inline constexpr const char* head_coding_line = "Content-Encoding: %s\r\n";
inline constexpr const char* head_type_line = "Content-Type: %s\r\n";
/// A head member: the lines' literal, the end of a 304's lines, where
/// Content-Type starts, the length.
inline constexpr const char* head_format = "{ \"%s\", %u, %u, %u }";
inline constexpr const char* head_none = "{ nullptr, 0, 0, 0 }";

/// The header's declarations, and the array sorted by path.
inline constexpr const char* extras_declaration = "\textern const vex_resource_extras %s;\n";
inline constexpr const char* extras_array_declarations =
    "\n\textern const vex_resource_extras * const all[];\n\textern const size_t all_length;\n";
inline constexpr const char* extras_array_open = "\n\tconst vex_resource_extras * const all[] =\n\t{\n";
inline constexpr const char* extras_array_entry = "\t\t&%s,\n";
inline constexpr const char* extras_array_close = "\t};\n\n\tconst size_t all_length = ARRAYSIZE(all);\n";
inline constexpr const char* extras_array_empty =
    "\n\tconst vex_resource_extras * const all[1] = { nullptr };\n\n\tconst size_t all_length = 0;\n";

/// The header's lookup of hashed paths, for pages that link to resources
/// by the names that may be cached for good: the set name three times.
inline constexpr const char* extras_hashed_path_lookup =
    "namespace %s_manifest\n"
    "{\n"
    "\t// The content-hashed path of the resource at path (\"/css/site.css\" gives\n"
    "\t// \"/css/site.3f2a1b0c.css\"); path itself when no resource has it.\n"
    "\tinline const char * hashed_path(const char * path)\n"
    "\t{\n"
    "\t\tconst vex_resource_extras * found = vex_res_extras_find(%s_extras::all, %s_extras::all_length, "
    "path);\n"
    "\t\treturn found ? found->hashed_path : path;\n"
    "\t}\n"
    "}\n\n\n";

/// The table of paths (vex_resource_builder/path_table.h): its declaration
/// in the header, then in the target the entries (record and side record)
/// in path order, the slots and the pilots, sixteen numbers a line (an
/// empty slot is 4294967295, vex_res_empty_slot), and the
/// table (entry count, slot count, bucket count, seed). The namespaces
/// take the set name (vex_res_paths by default); an entry names its record
/// and then the set name and its side record.
inline constexpr const char* path_table_declaration =
    "#include \"vex_resource_builder/path_table.h\"\n\n"
    "namespace %s_paths\n{\n\textern const vex_resource_path_table table;\n}\n\n\n";
inline constexpr const char* path_table_open = "namespace %s_paths\n{\n\tconst vex_resource_path_entry entries[] =\n\t{\n";
inline constexpr const char* path_table_entry = "\t\t{ &%s, &::%s_extras::%s },\n";
inline constexpr const char* path_table_no_entry = "\t\t{ nullptr, nullptr },\n";
inline constexpr const char* path_table_slots_open = "\t};\n\n\tconst uint32_t slots[] =\n\t{";
inline constexpr const char* path_table_pilots_open = "\n\t};\n\n\tconst uint16_t pilots[] =\n\t{";
inline constexpr const char* path_table_line_start = "\n\t\t";
inline constexpr const char* path_table_number = "%u,";
inline constexpr const char* path_table_close =
    "\n\t};\n\n\tconst vex_resource_path_table table = { entries, %u, slots, %u, pilots, %u, 0x%016llxull };\n}\n\n\n";
/// The table of a run whose paths found no collision-free placement: the
/// kit then searches the sorted arrays.
inline constexpr const char* path_table_none =
    "namespace %s_paths\n{\n\tconst vex_resource_path_table table = { nullptr, 0, nullptr, 0, nullptr, 0, 0 };\n}\n\n\n";

/// The manifest: a JSON object from each path to its hashed path, in the
/// order of vex_res_extras::all.
inline constexpr const char* manifest_open = "{";
inline constexpr const char* manifest_entry = "%s\n  \"%s\": \"%s\"";
inline constexpr const char* manifest_close = "\n}\n";
