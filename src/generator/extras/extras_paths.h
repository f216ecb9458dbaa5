#pragma once
// Where the files of -x lie: beside the target, named like its parts, and
// made absolute where the run's directory changes (-d) would move them.
#include <string>

/// The name made absolute against the current directory.
std::wstring absolute_name(const std::wstring& name);

/// The target's name up to its extension, then suffix: as the parts are
/// named ("res.cpp" and "cache" give "res.cache").
std::wstring beside_target(const wchar_t* target, const wchar_t* suffix);

/// The manifest's name for target (DST.manifest.json), or empty when the
/// run writes none: a target that is a standard stream, or a run without
/// the all arrays (one that appends has none to list).
std::wstring manifest_name(const wchar_t* target, bool arrays);
