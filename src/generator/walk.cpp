#include "generator/walk.h"

int walk_source(builder_context&, const wchar_t*, uint64_t) { return -1; }
void enter_namespace(builder_context&, const wchar_t*) {}
void leave_namespace(builder_context&) {}
