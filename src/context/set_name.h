#pragma once
// The name of a generated set: the prefix of every name that the set
// defines at namespace scope (its records' namespace vex_res, vex_res_data,
// vex_res_extras, the variants' vex_res_br, ..., vex_res_manifest, and the
// object's symbols vex_res_<hash>_<identifier>), so that several sets, each
// generated with a name of its own (-n), link into one program.
#include <cstddef>

/// The set name of a run without -n.
inline constexpr char default_set_name[] = "vex_res";
/// Bytes of a set name, its terminator included.
inline constexpr size_t set_name_capacity = 64;
