#include "generator/names/item_identifier.h"

#include "support/format.h"

bool claim_item_identifier(builder_context& context, const wchar_t* path, claim_scope scope, size_t* length,
                           const wchar_t* no_room_message) {
  char* identifier = context.flat_name;
  claim_outcome outcome = claim_identifier(context.names, identifier, length, context.flat_name_capacity, scope);
  switch (outcome.result) {
    case claim_result::claimed:
      return true;
    case claim_result::renamed:
      if (!context.quiet)
        out_printf(L"renamed [%s]: its identifier %.*hs is taken, it is %hs\n", path,
                   static_cast<int>(outcome.base_length), identifier, identifier);
      return true;
    case claim_result::no_room:
      out_printf(no_room_message, path);
      return false;
    case claim_result::table_full:
      break;
  }
  out_printf(L"stopped at [%s]: the table of identifiers is full, so no later name can be checked\n", path);
  context.stopped = 1;
  context.output_incomplete = 1;
  return false;
}
