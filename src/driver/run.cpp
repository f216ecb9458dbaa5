#include "driver/run.h"

#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "context/builder_context.h"
#include "driver/command_line.h"
#include "driver/extras_settings.h"
#include "generator/data/data_writer.h"
#include "generator/dependency_rule.h"
#include "generator/output_set.h"
#include "generator/report/size_report.h"
#include "generator/extras/extras_paths.h"
#include "generator/extras/http_extras.h"
#include "generator/names/set_name.h"
#include "generator/run_features.h"
#include "generator/shards/record_shards.h"
#include "generator/walk.h"
#include "metadata/clamp_time.h"
#include "support/format.h"

namespace {

// The features a run's switches ask for, owned here from the switches to
// the end of the run.
struct run_objects {
  std::unique_ptr<data_writer> data;
  dependency_rule deps;
  std::unique_ptr<http_extras_run> extras;  // with -x (or -z) only
  std::unique_ptr<record_shards> shards;    // with -s only
  std::unique_ptr<size_report> report;      // with -r only

  run_features features() { return {*data, deps, extras.get(), shards.get(), report.get()}; }
};

// Changes the directories and walks the sources after the target.
void process_sources(builder_context& context, const run_features& features, int argc, wchar_t** argv, int i) {
  for (; i < argc && !context.stopped; ++i) {
    const wchar_t* argument = argv[i];
    if (!is_switch(argument, L'd')) {
      walk_source(context, features, argument, 0);
      continue;
    }
    const wchar_t* directory = argument + 2;
    if (*directory == 0) {
      if (i + 1 >= argc || argv[i + 1][0] == 0) return;
      directory = argv[++i];
    }
    if (!platform::set_current_directory(directory) && platform::last_error() != 0) {
      out_printf(L"failed to change directory to [%s]\n", directory);
      return;
    }
    if (!note_directory_change(features.deps, directory)) context.output_incomplete = 1;
    if (!context.quiet) out_printf(L"cd [%s]\n", directory);
  }
}

// Takes -s and -n: the shards and the set's name. False after a message
// when either value is refused or the shards cannot serve this target.
bool apply_set_switches(builder_context& context, const command_line& line, run_objects& objects) {
  if (line.set_name_text) {
    if (!make_set_name(line.set_name_text, context.set_name)) {
      out_printf(L"invalid set name [%s]: give an identifier of ASCII letters, digits and _, not beginning with a "
                 L"digit or with vex, at most %u bytes, that is no C++ keyword or predefined name\n",
                 line.set_name_text, static_cast<unsigned>(set_name_capacity - 1));
      return false;
    }
    context.names.reserve_set_name(context.set_name);
  }
  if (!line.shards_text) return true;
  unsigned count = 0;
  if (!parse_shard_count(line.shards_text, &count)) {
    out_printf(L"invalid shard count [%s]: give a whole number from 1 to %u\n", line.shards_text, max_shards);
    return false;
  }
  objects.shards = std::make_unique<record_shards>(count);
  return objects.shards->prepare(line.target, line.append);
}

// -z holds files in one coding with the machinery of -x.
bool uses_extras(const command_line& line) { return line.http_extras || line.stored_coding_text; }

// Creates the report of -r before the walk; false after a message.
bool open_report(const command_line& line, run_objects& objects) {
  if (!line.report_name) return true;
  objects.report = std::make_unique<size_report>();
  return objects.report->open(line.report_name);
}

// True (after a message) when the report is a file that the run also
// writes as another of its outputs: the two would be written over each other.
bool report_overlaps(builder_context& context, run_objects& objects) {
  if (!objects.report) return false;
  const file_handle& report = objects.report->file();
  bool overlaps = objects.data->writes(report) || (objects.extras && objects.extras->writes(report.handle)) ||
                  (objects.shards && objects.shards->writes(report)) || objects.deps.file.is_file_of(report);
  for (file_handle* output : output_set_files(context)) overlaps = overlaps || output->is_file_of(report);
  if (overlaps)
    out_printf(L"the report [%s] is another file of this run: give it a name of its own\n",
               objects.report->name().c_str());
  return overlaps;
}

// Takes the switches into the context; false (with exit_code set) when the
// run must stop before anything is written.
bool apply_switches(builder_context& context, const command_line& line, run_objects& objects,
                    http_extras_options& extras, int& exit_code) {
  context.quiet = line.quiet;
  context.big_endian = line.big_endian;
  context.flat_labels = line.flat_labels;
  context.utf8_names = line.utf8_names;
  context.hierarchy = 1;
  if (line.clamp_text && !parse_clamp_time(line.clamp_text, &context.latest_write_time)) {
    out_printf(L"invalid time [%s]: give whole seconds since 1970-01-01 UTC, from 1601 to the end of 9999\n",
               line.clamp_text);
    exit_code = 1;
    return false;
  }
  data_form form = data_form::words;
  const wchar_t* object_format_name = nullptr;
  if (line.data_form_text && !parse_data_form(line.data_form_text, &form, &object_format_name)) {
    out_printf(L"invalid data form [%s]: give words, incbin, literal or object[:format]\n", line.data_form_text);
    exit_code = 1;
    return false;
  }
  if ((line.cache_directory || line.workers_text) && !uses_extras(line)) {
    out_printf(L"-c and -j set up the HTTP extras: give them with -x or -z\n");
    exit_code = 1;
    return false;
  }
  bool html = false;
  if (line.report_name && !report_format(line.report_name, &html)) {
    out_printf(L"invalid report [%s]: give a file name ending in .json or .html\n", line.report_name);
    exit_code = 1;
    return false;
  }
  if ((uses_extras(line) && !read_http_extras_settings(line, extras)) || !apply_set_switches(context, line, objects)) {
    exit_code = 1;
    return false;
  }
  objects.data = make_data_writer(form, object_format_name);
  if (!objects.data->prepare(context, line.target, line.append)) {
    exit_code = 1;
    return false;
  }
  if (line.dependency_name && !reserve_dependency_rule(objects.deps)) {
    exit_code = -1;
    return false;
  }
  if (!context.names.reserve()) {
    out_printf(L"cannot allocate memory for the table of identifiers\n");
    exit_code = -1;
    return false;
  }
  return true;
}

void wait_when_debugged() {
  if (platform::debugger_present()) platform::wait_for_console_char();
  else out_printf(L"\n");
}

// Opens every output of the run: the output set, the data form's file, the
// shards, the size report, the side records' outputs and the dependency file. False after
// "[FAILED]" when the run cannot go on.
bool open_outputs(builder_context& context, run_objects& objects, const command_line& line,
                  const http_extras_options& extras) {
  data_writer& data = *objects.data;
  const bool sharded_arrays = objects.shards && objects.shards->splits();
  bool opened = open_output_set(context, line.target, line.append, sharded_arrays) == 0 &&
                data.open(context, line.target, line.append) &&
                (!objects.shards || objects.shards->open(context, data, line.target));
  bool arrays = context.namespace_path != nullptr;
  const bool with_extras = uses_extras(line);
  if (opened && !open_report(line, objects)) opened = false;
  if (opened && with_extras &&
      !(objects.extras = start_http_extras(data, line.target, arrays, context.quiet, extras, objects.report.get())))
    opened = false;
  if (!opened) {
    data.discard();
    out_printf(L"\n[FAILED]\n");
    wait_when_debugged();
    return false;
  }
  if (!line.dependency_name) return true;
  std::wstring manifest = with_extras ? manifest_name(line.target, arrays) : std::wstring();
  std::vector<const wchar_t*> targets{line.target};
  if (objects.shards)
    for (const std::wstring& shard : objects.shards->names()) targets.push_back(shard.c_str());
  if (data.file_name()) targets.push_back(data.file_name());
  if (!manifest.empty()) targets.push_back(manifest.c_str());
  if (!open_dependency_file(objects.deps, line.dependency_name, targets)) context.output_incomplete = 1;
  return true;
}

int run(builder_context& context, run_objects& objects, int argc, wchar_t** argv) {
  command_line line;
  http_extras_options extras;
  int exit_code = 0;
  if (!parse_command_line(argc, argv, line, exit_code) ||
      !apply_switches(context, line, objects, extras, exit_code))
    return exit_code;
  if (!context.quiet) out_printf(L"%ls", banner);
  if (!open_outputs(context, objects, line, extras)) return -1;

  data_writer& data = *objects.data;
  if (report_overlaps(context, objects)) {
    data.discard();
    return 1;
  }
  process_sources(context, objects.features(), argc, argv, line.first_source);
  if (objects.extras) drain_http_extras(context, *objects.extras);
  if (!finish_dependency_file(objects.deps)) context.output_incomplete = 1;
  // The binary file and the object are whole before the target is: a run
  // stopped in between leaves a target that does not compile.
  if (!data.finish(context)) context.output_incomplete = 1;
  if (objects.shards && !objects.shards->finish(context)) context.output_incomplete = 1;
  finish_output_set(context);
  if (objects.extras) finish_http_extras(context, std::move(objects.extras));
  if (objects.report && !objects.report->finish(line.target, uses_extras(line) ? &extras.plan : nullptr))
    context.output_incomplete = 1;
  if (!context.quiet) {
    out_printf(L"\n[finished]");
    if (platform::debugger_present()) out_printf(L" press ENTER...");
    wait_when_debugged();
  }
  return context.output_incomplete ? exit_output_incomplete : 0;
}

}  // namespace

int run_builder(int argc, wchar_t** argv) {
  builder_context context{};
  init_context(context);
  run_objects objects;
  int code = -1;
  try {
    code = run(context, objects, argc, argv);
  } catch (const std::bad_alloc&) {
    // Too large a file for the memory left: the run stops with the outputs
    // unfinished (never a crash), and the object, which a build would link
    // as it is, goes.
    // The workers finish what they hold first.
    objects.extras.reset();
    if (objects.data) objects.data->discard();
    out_printf(L"cannot allocate memory\n");
  }
  release_context(context);
  return code;
}
