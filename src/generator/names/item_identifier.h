#pragma once
// Claiming the identifier of one file or directory, with its messages.
#include <cstddef>

#include "context/builder_context.h"
#include "generator/names/identifier_claim.h"

/// Claims the identifier in flat_name (*length bytes) for the item at path
/// (see claim_identifier). Prints a progress line when the item is renamed;
/// when the identifier cannot be made, prints no_room_message (a format
/// taking path) and returns false; when the table is full, stops the run
/// (stopped, output_incomplete) with a message and returns false.
bool claim_item_identifier(builder_context& context, const wchar_t* path, claim_scope scope, size_t* length,
                           const wchar_t* no_room_message);
