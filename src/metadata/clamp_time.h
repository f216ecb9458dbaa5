#pragma once
// The time given to clamp every file's last-write time, so that the same
// tree dates its resources the same on every checkout.
#include <cstdint>

/// No clamp: every file keeps its own last-write time.
inline constexpr uint64_t no_clamp = ~uint64_t{0};

/// Reads text as whole seconds since 1970-01-01 00:00:00 UTC (an optional
/// sign, then decimal digits) and gives the same instant as a file time
/// (100 ns since 1601-01-01). False for anything else and for times before
/// 1601-01-01 or after 9999-12-31 23:59:59, which an HTTP date cannot show.
bool parse_clamp_time(const wchar_t* text, uint64_t* file_time);

/// The write time a file is dated with: its own, or the clamp when later.
inline uint64_t clamped_write_time(uint64_t file_time, uint64_t clamp) { return file_time > clamp ? clamp : file_time; }
