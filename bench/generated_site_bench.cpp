// The serving kit on a site the tool generated with -x (its side records
// with their header lines, and its table of paths): the time and the
// allocations of planning one request, and lookups per second with the
// table beside the binary search of the sorted arrays.
//
//   vex_generated_site_bench_10 / vex_generated_site_bench_15000 [--benchmark_... options]
//
// Built once per site (10 files, 15,000 files; bench/CMakeLists.txt). Each
// planning case checks its answer first, so that a fast wrong answer is an
// error, not a figure. The counter allocations_per_plan counts every
// operator new made while planning (the planner promises none).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "vex_resource_builder/response_head.h"
#include "vex_resource_builder/response_plan.h"
#include "vex_resources.h"

#include "counting_allocator.h"

namespace {

// The site as -x writes it, and the same without its table of paths.
vex_http::site site_with_table() {
  vex_http::site site{vex_res_arrays, vex_res_arrays_length, vex_res_extras::all, vex_res_extras::all_length};
  site.paths = &vex_res_paths::table;
  return site;
}
const vex_http::site with_table = site_with_table();
const vex_http::site without_table{vex_res_arrays, vex_res_arrays_length, vex_res_extras::all,
                                   vex_res_extras::all_length};

/// The file a planning case asks for: the first, in path order, that has a
/// gzip variant (a page, style sheet or script).
const vex_resource_extras& text_file() {
  for (size_t i = 0; i < vex_res_extras::all_length; ++i)
    if (vex_res_extras::all[i]->gzip.data) return *vex_res_extras::all[i];
  std::abort();
}

/// One request to plan, and the status and coding its answer must have.
struct plan_case {
  const char* name;
  const vex_http::site* site;
  std::string target;
  vex_http::request_headers headers;
  int status;
  vex_http::content_coding coding;
};

bool check(benchmark::State& state, const vex_http::response_plan& plan, const plan_case& each) {
  if (plan.status == each.status && plan.coding == each.coding && (plan.status >= 400 || plan.block_count > 0))
    return true;
  state.SkipWithError(("answered " + std::to_string(plan.status) + " in " +
                       std::string(vex_http::content_coding_name(plan.coding)) +
                       (plan.block_count ? "" : " without header lines"))
                          .c_str());
  return false;
}

// Plans the case, and with write_head, writes the head as a server of raw bytes does.
void plan_one(benchmark::State& state, const plan_case& each, bool write_head) {
  {
    vex_http::response_plan plan;
    vex_http::plan_request(plan, "GET", each.target, each.headers, *each.site, vex_http::immutable_when_hashed);
    if (!check(state, plan, each)) return;
  }
  char head[vex_http::head_capacity];
  const uint64_t before = allocations_so_far();
  for (auto _ : state) {
    vex_http::response_plan plan;
    vex_http::plan_request(plan, "GET", each.target, each.headers, *each.site, vex_http::immutable_when_hashed);
    if (write_head) benchmark::DoNotOptimize(vex_http::write_head(plan, "", head, sizeof head));
    benchmark::DoNotOptimize(plan.body);
    benchmark::ClobberMemory();
  }
  state.counters["allocations_per_plan"] = benchmark::Counter(
      static_cast<double>(allocations_so_far() - before), benchmark::Counter::kAvgIterations);
}

std::vector<plan_case> cases() {
  static const vex_resource_extras& file = text_file();
  static const std::string etag = file.gzip.etag;
  std::vector<plan_case> all;
  all.push_back({"found_identity", &with_table, file.path_root_a, {}, 200, vex_http::content_coding::identity});
  plan_case gzip{"found_gzip", &with_table, file.path_root_a, {}, 200, vex_http::content_coding::gzip};
  gzip.headers.accept_encoding = "gzip";
  all.push_back(gzip);
  plan_case browser{"found_browser_offer", &with_table, file.path_root_a, {}, 200, vex_http::content_coding::br};
  browser.headers.accept_encoding = "gzip, deflate, br, zstd";
  all.push_back(browser);
  plan_case hashed{"found_hashed_path", &with_table, file.hashed_path, {}, 200, vex_http::content_coding::gzip};
  hashed.headers.accept_encoding = "gzip";
  all.push_back(hashed);
  plan_case not_modified{"not_modified_304", &with_table, file.path_root_a, {}, 304, vex_http::content_coding::identity};
  not_modified.headers.accept_encoding = "gzip";
  not_modified.headers.if_none_match = etag;
  all.push_back(not_modified);
  plan_case arrays{"found_gzip_searching_arrays", &without_table, file.path_root_a, {}, 200,
                   vex_http::content_coding::gzip};
  arrays.headers.accept_encoding = "gzip";
  all.push_back(arrays);
  all.push_back({"not_found_404", &with_table, "/no/such/file.html", {}, 404, vex_http::content_coding::identity});
  return all;
}

/// Every path of the site, in a fixed shuffled order, so that lookups go
/// all over the tables as a site's requests do.
const std::vector<std::string>& paths() {
  static const std::vector<std::string> all = [] {
    std::vector<std::string> result;
    for (size_t i = 0; i < vex_res_extras::all_length; ++i) result.push_back(vex_res_extras::all[i]->path_root_a);
    std::shuffle(result.begin(), result.end(), std::mt19937(7));
    return result;
  }();
  return all;
}

// Lookups of every path in turn: in the table, or by binary search of the
// sorted arrays.
void look_up(benchmark::State& state, bool table) {
  const std::vector<std::string>& all = paths();
  size_t next = 0, found = 0;
  for (auto _ : state) {
    const std::string& path = all[next];
    next = next + 1 == all.size() ? 0 : next + 1;
    if (table) found += vex_res_path_find(vex_res_paths::table, path.data(), path.size()).entry != nullptr;
    else found += vex_res_find_in(vex_res_arrays, vex_res_arrays_length, path.c_str()) != nullptr;
  }
  benchmark::DoNotOptimize(found);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  state.counters["files"] = static_cast<double>(vex_res_extras::all_length);
}

}  // namespace

int main(int argc, char** argv) {
  vex_res::sort_all();
  static const std::vector<plan_case> all = cases();
  for (const plan_case& each : all)
    benchmark::RegisterBenchmark((std::string("plan_request/") + each.name).c_str(), plan_one, each, false);
  benchmark::RegisterBenchmark("plan_and_write_head/found_gzip", plan_one, all[1], true);
  benchmark::RegisterBenchmark("lookup/table", look_up, true);
  benchmark::RegisterBenchmark("lookup/binary_search", look_up, false);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
