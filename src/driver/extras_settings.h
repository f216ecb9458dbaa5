#pragma once
// The settings of -x (and -z, which implies it) from the command line and,
// under -x only, from the environment: the coding of the files held
// compressed only (-z), the variant cache's directory (-c, else
// VEX_RESOURCE_CACHE), the number of threads that compress (-j, else
// VEX_RESOURCE_JOBS, else one per processor) and the cache's size limit
// (VEX_RESOURCE_CACHE_LIMIT).
#include "driver/command_line.h"
#include "generator/extras/http_extras.h"

/// Fills options for a run with -x or -z. False after printing what is
/// wrong with a value (the run stops before anything is written).
bool read_http_extras_settings(const command_line& line, http_extras_options& options);

/// Reads a whole number from 1 to the most threads the tool starts.
bool parse_workers(const wchar_t* text, unsigned* workers);

/// Reads a size in bytes: digits, optionally followed by K, M, G or T
/// (powers of 1024), in either case.
bool parse_size(const wchar_t* text, uint64_t* bytes);
