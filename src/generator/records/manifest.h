#pragma once
// Content-hashed paths and the manifest that maps every path to its hashed
// form (DST.manifest.json), for tools and templates outside the program.
#include <cstddef>
#include <string>

/// The hashed form of a URL path: the first digits of the content hash
/// (hex) inserted as ".digits" where vex_res_hash_position says.
std::string hashed_path(const std::string& path, const char* hash);
std::wstring hashed_path(const std::wstring& path, const char* hash);

/// The body of a JSON string holding text: UTF-8, with '"', '\\' and the
/// control characters escaped, and a lone surrogate (a POSIX name's byte
/// that is not UTF-8, or an unpaired UTF-16 unit) as a \u escape.
std::string json_string(const std::wstring& text);
