#pragma once
// The variant a file is held in only (-z) is the program's one copy of the
// file: the kit's decoder of its coding must give the file's bytes back
// from it, within the fixed memory that decoder has in a reader, or a client
// that does not take the coding could never get the file. brotli's tables
// per meta-block are not bounded by its window, so a stream can need more;
// such a variant is not kept, and the file is held as it is.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "generator/extras/compression.h"

/// True when the kit's decoder of which, in the memory it has alone, decodes
/// variant to the size bytes at bytes.
bool decodes_in_kit(coding which, const std::vector<uint8_t>& variant, const uint8_t* bytes, uint64_t size);

/// The memory the kit's decoder of which works in: a change of it may
/// change which variants are kept.
size_t kit_decoder_memory(coding which);
