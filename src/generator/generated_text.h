#pragma once
// The format texts of the generated code, in one place for the generator's
// files and for the tests that run them through the formatter. Every name
// that a set defines at namespace scope starts with the set's name (the
// context's set_name, "vex_res" unless -n gives another), which the formats
// take as an argument where such a name appears.

// The skeleton of every generated source: its include line, then the data
// namespace and the records' namespace, which the set name opens
// (vex_res_data and vex_res by default), each closed by namespace_close.
inline constexpr const char* include_line = "#include \"pch.h\"\n\n\n";
inline constexpr const char* data_namespace_open = "namespace %s_data\n{\n";
inline constexpr const char* res_namespace_open = "namespace %s\n{\n";
inline constexpr const char* namespace_close = "}\n\n\n";

// The all arrays and sort_all, shared by the root (whose prefixes are empty)
// and the top-level namespaces (a tab, or name and "::").

inline constexpr const char* array_open = "\n\t%sconst vex_resource * all[] =\n\t%s{\n";
inline constexpr const char* array_close = "%s\t};\n\n\t%sconst size_t all_length = ARRAYSIZE(all);\n";
inline constexpr const char* array_declarations =
    "\n\t%sextern const vex_resource * all[];\n\t%sextern const size_t all_length;\n";
/// Namespace prefix and "::" three times (all empty for the root).
inline constexpr const char* sort_call =
    "\t\tqsort(%s%sall, %s%sall_length, sizeof(*%s%sall), vex_res_compare);\n";
inline constexpr const char* sort_open = "\n\tvoid sort_all()\n\t{\n";
/// The header's declaration of sort_all, for a set named with -n: the kit
/// declares the default set's.
inline constexpr const char* sort_declaration = "\n\tvoid sort_all();\n";

// The all arrays of a run in shards (-s): each shard writes the entries of
// its own records into parts of its own, in <set>_shards, and the target
// sizes its arrays for them too, and sort_all fills them from the parts
// before it sorts; so no compile holds the entries of every record. A part is
// named by its kind ("root", or "part" and its top-level namespace) and
// its shard: root_3, part_3_css.
/// An entry of a part: set name, namespace path, label.
inline constexpr const char* shard_entry = "\t\t&::%s::%s%s,\n";
/// The opening of a part (set name; kind, shard, "_" and namespace, twice),
/// its closing, and its declaration in the target (kind, shard, "_" and
/// namespace, entry count).
inline constexpr const char* shard_part_open =
    "namespace %s_shards\n{\n\textern const vex_resource * const %s_%u%s%s[];\n"
    "\tconst vex_resource * const %s_%u%s%s[] =\n\t{\n";
inline constexpr const char* shard_part_close = "\t};\n}\n\n\n";
inline constexpr const char* shard_part_declaration = "\textern const vex_resource * const %s_%u%s%s[%llu];\n";
/// The target's declarations of the parts, at file scope (set name).
inline constexpr const char* shard_declarations_open = "}\n\n\nnamespace %s_shards\n{\n";
/// The opening of an all array whose size is given (the prefixes of
/// array_open around the entry count): the target's, which the parts fill.
inline constexpr const char* sized_array_open = "\n\t%sconst vex_resource * all[%llu] =\n\t%s{\n";
/// The copy of a part into its array in sort_all: entry count, namespace
/// and "::" (empty for the root), offset, set name, the part's name.
inline constexpr const char* shard_fill =
    "\t\tfor (size_t i = 0; i < %llu; ++i) %s%sall[%llu + i] = ::%s_shards::%s_%u%s%s[i];\n";

// A nested namespace: its opening (line break, indent, name, indent) and closing.
inline constexpr const char* nested_namespace_open = "%s%s\tnamespace %s\n\t%s{\n";
inline constexpr const char* nested_namespace_close = "%s\t}\n\n";

// A data array: name and word count, then the words, then the closing.
inline constexpr const char* data_open = "\tuint64_t %s[%llu] =\n\t{\n\t\t";
inline constexpr const char* data_close = "\n\t};\n\n";

// One resource record: 17 lines. Its head, up to the data member (13 lines,
// 27 arguments), the text member (3 arguments), and the tail that the
// records of every form share (2 dates, 5 arguments).
inline constexpr const char* record_format =
    "%s\tconst vex_resource %s =\n"
    "\t%s{\n"
    "\t\t%sL\"%s\",\n"
    "\t\t%s\"/%s\",\n"
    "\t\t%s%s.path_root_a + 1,\n"
    "\t\t%s%s.path_a + %u,\n"
    "\t\t%s%s.path_a + %u,\n"
    "\t\t%s%s,\n"
    "\t\t%s%s,\n"
    "\t\t%s%u,\n"
    "\t\t%s%u,\n"
    "\t\t%s%u,\n"
    "\t\t%s(const char * const)%s_data::%s,\n";
inline constexpr const char* record_text = "\t\t%s%s.data + %u,\n";
inline constexpr const char* record_tail =
    "\t\t%s\"%s\",\n"
    "\t\t%s\"%s\",\n"
    "\t%s};\n\n";
/// The text member of a record whose file -z may hold in one coding only:
/// its data array is written later, as its bytes or as a null pointer, and
/// the text is null with it.
inline constexpr const char* held_record_text =
    "\t\t%svex_res_text_after_bom((const char *)%s_data::%s, %u),\n";
// An entry of an all array; below the root it names the record from the
// global scope, so that a nested namespace named like the top-level one
// cannot capture the lookup.
inline constexpr const char* entry_format = "%s\t\t&%s%s%s,\n";
inline constexpr const char* declaration_format = "%s\textern const vex_resource %s;\n";

// The incbin form. The data namespace starts with one macro that places a
// file's bytes under a symbol in the read-only data of the object format
// at hand; the sections are restored afterwards, so that the compiler's own
// output goes on where it was. PE/COFF has no section stack, so its text
// ends in .text, where the compiler expects its functions. A second macro
// starts a large file's bytes on a page of their own in ELF (see
// page_array_size), and is the first elsewhere; the first stays as it was,
// so that a run appending (-a) to an earlier run's source redefines it alike.
inline constexpr const char* incbin_macro =
    "#if defined(__ELF__)\n"
    "#define VEX_RES_INCBIN(symbol, bytes) \".pushsection .rodata\\n.balign 8\\n.globl \" symbol \"\\n.type \" symbol "
    "\", %object\\n\" symbol \":\\n\" bytes \".size \" symbol \", . - \" symbol \"\\n.popsection\\n\"\n"
    "#define VEX_RES_INCBIN_PAGE(symbol, bytes) \".pushsection .rodata\\n.balign 4096\\n.globl \" symbol \"\\n.type \" "
    "symbol \", %object\\n\" symbol \":\\n\" bytes \".size \" symbol \", . - \" symbol \"\\n.popsection\\n\"\n"
    "#elif defined(__APPLE__)\n"
    "#define VEX_RES_INCBIN(symbol, bytes) \".pushsection __TEXT,__const\\n.p2align 3\\n.globl \" symbol \"\\n\" symbol "
    "\":\\n\" bytes \".popsection\\n\"\n"
    "#define VEX_RES_INCBIN_PAGE(symbol, bytes) VEX_RES_INCBIN(symbol, bytes)\n"
    "#elif defined(_WIN32)\n"
    "#define VEX_RES_INCBIN(symbol, bytes) \".section .rdata,\\\"dr\\\"\\n.balign 8\\n.globl \" symbol \"\\n\" symbol "
    "\":\\n\" bytes \".text\\n\"\n"
    "#define VEX_RES_INCBIN_PAGE(symbol, bytes) VEX_RES_INCBIN(symbol, bytes)\n"
    "#else\n"
    "#error \"the incbin data form needs an ELF, Mach-O or PE/COFF target: generate the words form instead\"\n"
    "#endif\n\n";
/// Binary file name, offset and length: the assembler text of one file's bytes.
inline constexpr const char* incbin_bytes = ".incbin \\\"%s\\\", %llu, %llu\\n";
/// Per file: the data array bound to its symbol (identifier, then set name,
/// hash and identifier), the symbol's definition (the macro's suffix, ""
/// or "_PAGE", then set name, hash, identifier, the incbin text), and the
/// array of the record's path (set name, identifier, path).
inline constexpr const char* incbin_array =
    "\textern const char %s[] __asm__(\"%s_%016llx_%s\");\n"
    "\t__asm__(VEX_RES_INCBIN%s(\"%s_%016llx_%s\", \"%s\"));\n"
    "\tnamespace %s_data { const char %s[] = \"/%s\"; }\n\n";
/// A precompressed variant in the binary file: the same without the path
/// array, in the variant's own namespace.
inline constexpr const char* incbin_variant_array =
    "\textern const char %s[] __asm__(\"%s_%016llx_%s\");\n"
    "\t__asm__(VEX_RES_INCBIN%s(\"%s_%016llx_%s\", \"%s\"));\n\n";

// The object form. Each data array is a symbol of the object file beside
// the target, declared with C linkage, which GCC, Clang and MSVC name alike
// (Mach-O's underscore included), and bound to the array's name by a
// constant pointer, so that the records stay address constants.
/// Per file: set name, hash and identifier (the symbol); identifier, set
/// name, hash and identifier (the binding); then the record's path array
/// (set name, identifier, path).
inline constexpr const char* object_array =
    "\textern \"C\" const char %s_%016llx_%s[];\n"
    "\tconstexpr const char * %s = %s_%016llx_%s;\n"
    "\tnamespace %s_data { const char %s[] = \"/%s\"; }\n\n";
/// A precompressed variant in the object file: the same without the path array.
inline constexpr const char* object_variant_array =
    "\textern \"C\" const char %s_%016llx_%s[];\n"
    "\tconstexpr const char * %s = %s_%016llx_%s;\n\n";
/// The symbol's name in the object file (set name, hash, identifier) with
/// the underscore of C names, which all but Mach-O leave out.
inline constexpr const char* object_symbol_name = "_%s_%016llx_%s";

// A record whose members are all address constants, so that the compiler
// places it at build time: the path members point into the record's path
// array (vex_res_data::vex_res_data::identifier for the set vex_res), not
// into the record itself. Each "%s_data::" takes the set name first. Its
// head, then its text member; its tail is record_tail.
inline constexpr const char* constant_record_format =
    "%s\tconst vex_resource %s =\n"
    "\t%s{\n"
    "\t\t%sL\"%s\",\n"
    "\t\t%s%s_data::%s_data::%s,\n"
    "\t\t%s%s_data::%s_data::%s + 1,\n"
    "\t\t%s%s_data::%s_data::%s + %u,\n"
    "\t\t%s%s_data::%s_data::%s + %u,\n"
    "\t\t%s%s,\n"
    "\t\t%s%s,\n"
    "\t\t%s%u,\n"
    "\t\t%s%u,\n"
    "\t\t%s%u,\n"
    "\t\t%s(const char * const)%s_data::%s,\n";
inline constexpr const char* constant_record_text = "\t\t%s(const char * const)%s_data::%s + %u,\n";
/// The path array of a file whose data array the walk does not write
/// (-z), in the forms whose records point into one (set name, identifier,
/// path).
inline constexpr const char* path_array = "\tnamespace %s_data { const char %s[] = \"/%s\"; }\n\n";

// The literal form: the record's path array, then the data as string-literal
// pieces (set name, identifier, path, identifier, length with the terminator
// rounded up to 8), each piece short enough for every compiler's limit.
inline constexpr const char* literal_open =
    "\tnamespace %s_data { const char %s[] = \"/%s\"; }\n\talignas(8) const char %s[%llu] =\n\t\t\"";
/// A precompressed variant as literal pieces: identifier, length.
inline constexpr const char* literal_variant_open = "\talignas(8) const char %s[%llu] =\n\t\t\"";
/// Before an array longer than MSVC takes in one literal (identifier, bytes):
/// MSVC stops here with this message. clang-cl also defines _MSC_VER, but
/// takes literals of any length.
inline constexpr const char* literal_msvc_limit =
    "#if defined(_MSC_VER) && !defined(__clang__)\n"
    "#error \"the data array %s holds %llu bytes, more than MSVC takes in one string literal (65,535 with its "
    "terminator): generate the object data form (-m object) for MSVC\"\n"
    "#endif\n";
inline constexpr const char* literal_join = "\"\n\t\t\"";
inline constexpr const char* literal_close = "\";\n\n";
