#pragma once
// Counts the allocations of a benchmark program: linking
// counting_allocator.cpp replaces the global operator new and delete with
// ones that count every allocation made through them.
#include <cstdint>

/// Allocations made through operator new by every thread so far.
uint64_t allocations_so_far();
