#include "generator/extras/extras_summary.h"

#include "support/format.h"

namespace {

// A time in nanoseconds as seconds with one decimal.
void print_seconds(uint64_t nanoseconds) {
  uint64_t tenths = (nanoseconds + 50000000) / 100000000;
  out_printf(L"%llu.%llu s", static_cast<unsigned long long>(tenths / 10), static_cast<unsigned long long>(tenths % 10));
}

}  // namespace

void count_record(extras_summary& summary, uint64_t size, const variant_set& variants, uint64_t held) {
  ++summary.files;
  summary.bytes += size;
  summary.held += held;
  for (int i = 0; i < coding_count; ++i) {
    const std::vector<uint8_t>& variant = variants.bytes[i];
    if (!variant.empty()) summary.saved[i] += size - variant.size();
  }
}

void print_summary(const extras_summary& summary, const cache_trim& trimmed, const compression_plan& plan) {
  out_printf(L"%ls: %llu files, %llu bytes embedded", plan.stored_only ? L"-z" : L"-x",
             static_cast<unsigned long long>(summary.files), static_cast<unsigned long long>(summary.bytes));
  if (plan.stored_only) out_printf(L", %llu held", static_cast<unsigned long long>(summary.held));
  out_printf(L"; saved by");
  const wchar_t* separator = L" ";
  for (int i = 0; i < coding_count; ++i) {
    if (!plan.makes(static_cast<coding>(i))) continue;
    out_printf(L"%ls%hs %llu", separator, coding_names[i], static_cast<unsigned long long>(summary.saved[i]));
    separator = L", ";
  }
  out_printf(L" bytes; cache: %llu hits, %llu misses", static_cast<unsigned long long>(summary.hits),
             static_cast<unsigned long long>(summary.misses));
  if (trimmed.entries > 0)
    out_printf(L", %llu entries of %llu bytes removed", static_cast<unsigned long long>(trimmed.entries),
               static_cast<unsigned long long>(trimmed.bytes));
  out_printf(L"; compressing: ");
  print_seconds(summary.nanoseconds);
  out_printf(L" of processor time\n");
}
