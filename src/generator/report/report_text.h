#pragma once
// The format texts of the size report's JSON (-r FILE.json, and the data of
// FILE.html): the target and how the run compressed, one entry per embedded
// file, and the totals.

/// The opening: the target's name and the switches that compressed
/// ("-x", "-z gzip", or "" for none), each the body of a JSON string.
inline constexpr const char* report_open = "{\n  \"target\": \"%s\",\n  \"compression\": \"%s\",\n  \"files\": [";
/// One file: separator, path, MIME type, its own bytes, the bytes the
/// program holds for it, the coding they are held in ("identity" or the
/// coding of -z), then its variants.
inline constexpr const char* report_file_entry =
    "%s\n    {\"path\": \"%s\", \"type\": \"%s\", \"size\": %llu, \"stored\": %llu, \"coding\": \"%s\", "
    "\"variants\": {";
/// A variant of a file, or a coding's saving in the totals: separator,
/// coding, bytes.
inline constexpr const char* report_coding_bytes = "%s\"%s\": %llu";
inline constexpr const char* report_file_close = "}}";
/// The totals: files, their own bytes, the bytes the program holds, then
/// what each coding saved over the files' own bytes.
inline constexpr const char* report_totals =
    "\n  ],\n  \"totals\": {\"files\": %llu, \"size\": %llu, \"stored\": %llu, \"saved\": {";
inline constexpr const char* report_close = "}}\n}\n";
/// The coding of a file held as it is.
inline constexpr const char* report_identity = "identity";
