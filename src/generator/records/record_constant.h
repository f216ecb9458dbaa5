#pragma once
// The resource record of the fast data forms: only address constants, so
// that the compiler places it at build time and no start-up code fills it.
#include <cstdint>

#include "generator/records/resource_record.h"

/// Formats the record like format_resource_record, but its path members
/// point into the path array that the data form wrote beside the data
/// array (named like it), never into the record itself. Returns the length,
/// or -1 when the text does not fit.
int format_constant_record(const resource_record& record, char* out, uint64_t capacity);
