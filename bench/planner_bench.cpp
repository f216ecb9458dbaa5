// Time and allocations of plan_request, the serving kit's whole answer to
// one request, on a generated site of a few files with side records (strong
// ETags and br, gzip and zstd variants), as -x writes them.
//
//   vex_planner_bench [--benchmark_repetitions=N ...]
//
// Each case is a request and the status it must get; a case whose answer
// differs is reported as an error, so that a fast wrong answer cannot pass.
// The counter allocations_per_plan counts every operator new made while
// planning (the planner promises none).
//
// Built with -DVEX_PLANNER_BENCH_BASELINE, only the cases that any kit can
// plan are compiled, so that the same file measures an older kit's headers
// beside this one's (bench/planner_side_by_side.sh). Without it, the side
// records hold the header lines of every representation and the site has
// its table of paths, both made by the tool's own code, as -x writes them.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "counting_allocator.h"
#include "vex_resource_builder/response_plan.h"
#ifndef VEX_PLANNER_BENCH_BASELINE
#include "generator/extras/perfect_hash.h"
#include "generator/extras/served_type.h"
#include "generator/records/header_block.h"
#endif

namespace {

/// One generated file: its path, type and bytes, and its side record.
struct generated_file {
  std::string path;
  vex_content_type type;
  std::string data, br, gzip, zstd;
  std::string etag, br_etag, gzip_etag, zstd_etag, hashed_path;
  vex_resource record{};
  vex_resource_extras extras{};
  std::string heads[4];  // the header lines of the file's bytes and of its br, gzip and zstd variants
};

/// A site of a few files, sorted by path as sort_all() leaves the records.
class generated_site {
 public:
  generated_site() {
    add("/404.html", HTTP_CONTENT_TYPE_TEXT_HTML, 700);
    add("/app/index.html", HTTP_CONTENT_TYPE_TEXT_HTML, 900);
    add("/css/main.css", HTTP_CONTENT_TYPE_TEXT_CSS, 6000);
    add("/img/logo.svg", HTTP_CONTENT_TYPE_IMAGE_SVG_XML, 2500);
    add("/index.html", HTTP_CONTENT_TYPE_TEXT_HTML, 1200);
    add("/js/app.js", HTTP_CONTENT_TYPE_APPLICATION_JAVASCRIPT, 40000);
    add("/js/vendor.js", HTTP_CONTENT_TYPE_APPLICATION_JAVASCRIPT, 120000);
    add("/wasm/add.wasm", HTTP_CONTENT_TYPE_APPLICATION_OCTET_STREAM, 41);
    for (generated_file& file : files_) {
      file.record = {L"", file.path.c_str(), file.path.c_str() + 1, "", file.path.c_str() + file.path.rfind('/') + 1,
                     file.type, TXT_ENCODING_ANSI, static_cast<uint32_t>(file.data.size()),
                     static_cast<uint32_t>(file.data.size()), 0, file.data.data(), file.data.data(),
                     "Sun, 5 Nov 2023 7:05:09 GMT", "sun, 5 nov 2023 7:05:09 gmt"};
      file.extras = {file.path.c_str(), file.etag.c_str(),
                     {file.br.data(), file.br.size(), file.br_etag.c_str()},
                     {file.gzip.data(), file.gzip.size(), file.gzip_etag.c_str()},
                     {file.zstd.data(), file.zstd.size(), file.zstd_etag.c_str()}, file.hashed_path.c_str()};
      records_.push_back(&file.record);
      extras_.push_back(&file.extras);
    }
    length_ = records_.size();
    array_ = {records_.data(), &length_};
#ifndef VEX_PLANNER_BENCH_BASELINE
    for (generated_file& file : files_) add_heads(file);
    add_table();
#endif
  }

#ifndef VEX_PLANNER_BENCH_BASELINE
  vex_http::site site() const { return {&array_, 1, extras_.data(), extras_.size(), {}, 0, {}, 0, {}, &table_}; }
#else
  vex_http::site site() const { return {&array_, 1, extras_.data(), extras_.size()}; }
#endif

  /// The strong ETag of a file's variant in a coding ("br", "gzip", "zstd").
  const std::string& etag(const std::string& path, const std::string& coding) const {
    for (const generated_file& file : files_)
      if (file.path == path) return coding == "br" ? file.br_etag : coding == "gzip" ? file.gzip_etag : file.zstd_etag;
    std::abort();
  }

 private:
  void add(const std::string& path, vex_content_type type, size_t size) {
    generated_file& file = files_.emplace_back();
    const size_t number = files_.size();
    file.path = path;
    file.type = type;
    for (size_t i = 0; i < size; ++i) file.data += static_cast<char>('a' + (i * 7 + number) % 26);
    file.br = file.data.substr(0, size / 4);
    file.gzip = file.data.substr(0, size / 3);
    file.zstd = file.data.substr(0, size / 3 - 1);
    const std::string tag = std::to_string(number) + "0badf00d0badf00d0badf00d0badf0";
    file.etag = "\"" + tag + "\"";
    file.br_etag = "\"" + tag + "b\"";
    file.gzip_etag = "\"" + tag + "g\"";
    file.zstd_etag = "\"" + tag + "z\"";
    const size_t dot = path.rfind('.');
    file.hashed_path = path.substr(0, dot) + ".0badf00d" + path.substr(dot);
  }

#ifndef VEX_PLANNER_BENCH_BASELINE
  // The header lines of every representation, as -x writes them.
  static void add_heads(generated_file& file) {
    const std::wstring name(file.path.begin(), file.path.end());
    const std::string type = served_content_type(file.type, TXT_ENCODING_ANSI, name.c_str());
    const std::string date = fixed_last_modified(file.record.http_date);
    const std::string* tags[] = {&file.etag, &file.br_etag, &file.gzip_etag, &file.zstd_etag};
    const char* codings[] = {nullptr, "br", "gzip", "zstd"};
    const uint64_t sizes[] = {file.data.size(), file.br.size(), file.gzip.size(), file.zstd.size()};
    vex_resource_head* heads[] = {&file.extras.identity_head, &file.extras.br_head, &file.extras.gzip_head,
                                  &file.extras.zstd_head};
    for (size_t i = 0; i < 4; ++i) {
      const std::string tag = tags[i]->substr(1, tags[i]->size() - 2);
      const head_lines made = make_head_lines({type, date, tag.c_str(), sizes[i], true, codings[i]});
      file.heads[i] = made.lines;
      *heads[i] = {file.heads[i].c_str(), static_cast<uint16_t>(made.not_modified_end),
                   static_cast<uint16_t>(made.type_start), static_cast<uint16_t>(made.lines.size())};
    }
  }

  // The table of paths, as -x writes it: every path and hashed path.
  void add_table() {
    std::vector<std::string_view> keys;
    std::vector<uint32_t> values;
    for (uint32_t i = 0; i < files_.size(); ++i) {
      entries_.push_back({&files_[i].record, &files_[i].extras});
      keys.insert(keys.end(), {files_[i].path, files_[i].hashed_path});
      values.insert(values.end(), {2 * i, 2 * i + 1});
    }
    if (!build_perfect_hash(keys, hash_)) std::abort();
    for (uint32_t& slot : hash_.slots)
      if (slot != vex_res_empty_slot) slot = values[slot];
    table_ = {entries_.data(), static_cast<uint32_t>(entries_.size()), hash_.slots.data(),
              static_cast<uint32_t>(hash_.slots.size()), hash_.pilots.data(),
              static_cast<uint32_t>(hash_.pilots.size()), hash_.seed};
  }

  std::vector<vex_resource_path_entry> entries_;
  perfect_hash hash_;
  vex_resource_path_table table_{};
#endif
  // Filled before any pointer into it is taken, and never changed after.
  std::vector<generated_file> files_;
  std::vector<const vex_resource*> records_;
  std::vector<const vex_resource_extras*> extras_;
  size_t length_ = 0;
  vex_resource_array array_{};
};

/// One request to plan and the status its answer must have.
struct plan_case {
  std::string name;
  std::string method;
  std::string target;
  vex_http::request_headers headers;
  int status;
  vex_http::site site;
};

void plan_one(benchmark::State& state, const plan_case& each) {
  {
    vex_http::response_plan check;
    vex_http::plan_request(check, each.method, each.target, each.headers, each.site, vex_http::immutable_when_hashed);
    if (check.status != each.status) {
      state.SkipWithError(("answered " + std::to_string(check.status)).c_str());
      return;
    }
  }
  const uint64_t before = allocations_so_far();
  for (auto _ : state) {
    vex_http::response_plan plan;
    vex_http::plan_request(plan, each.method, each.target, each.headers, each.site, vex_http::immutable_when_hashed);
    benchmark::DoNotOptimize(plan.status);
    benchmark::DoNotOptimize(plan.body);
    benchmark::ClobberMemory();
  }
  const uint64_t made = allocations_so_far() - before;
  state.counters["allocations_per_plan"] =
      benchmark::Counter(static_cast<double>(made), benchmark::Counter::kAvgIterations);
}

/// The cases: add a row to measure another request.
std::vector<plan_case> cases() {
  static const generated_site generated;
  const vex_http::site plain = generated.site();
  constexpr std::string_view browser_codings = "gzip, deflate, br, zstd";  // what Chromium offers
  std::vector<plan_case> all;
  {
    plan_case found{"found_file_get_br", "GET", "/js/app.js", {}, 200, plain};
    found.headers.accept_encoding = browser_codings;
    all.push_back(found);
  }
  {
    static const std::string etag = generated.etag("/css/main.css", "br");
    plan_case not_modified{"not_modified_304", "GET", "/css/main.css", {}, 304, plain};
    not_modified.headers.accept_encoding = browser_codings;
    not_modified.headers.if_none_match = etag;
    all.push_back(not_modified);
  }
  all.push_back({"not_found_404", "GET", "/js/missing.js", {}, 404, plain});
#ifndef VEX_PLANNER_BENCH_BASELINE
  // The same site with a fallback and a 404 page: what routing them costs.
  static const vex_http::fallback fallbacks[] = {{"/", "/index.html"}, {"/app/", "/app/index.html"}};
  static const vex_http::error_page pages[] = {{404, "/404.html"}};
  vex_http::site app = plain;
  app.fallbacks = fallbacks;
  app.fallback_count = std::size(fallbacks);
  app.error_pages = pages;
  app.error_page_count = std::size(pages);
  constexpr std::string_view navigation = "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
  {
    plan_case route{"client_side_route_fallback", "GET", "/app/settings/network", {}, 200, app};
    route.headers.accept_encoding = browser_codings;
    route.headers.accept = navigation;
    all.push_back(route);
  }
  {
    plan_case page{"not_found_error_page", "GET", "/js/missing.js", {}, 404, app};
    page.headers.accept_encoding = browser_codings;
    page.headers.accept = "*/*";
    all.push_back(page);
  }
#endif
  return all;
}

}  // namespace

int main(int argc, char** argv) {
  static const std::vector<plan_case> all = cases();
  for (const plan_case& each : all)
    benchmark::RegisterBenchmark(("plan_request/" + each.name).c_str(), plan_one, each);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
