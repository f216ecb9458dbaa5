#include "driver/run.h"

#include <memory>
#include <new>
#include <utility>

#include "context/builder_context.h"
#include "driver/command_line.h"
#include "driver/extras_settings.h"
#include "generator/data/data_writer.h"
#include "generator/dependency_rule.h"
#include "generator/output_set.h"
#include "generator/report/size_report.h"
#include "generator/extras/extras_paths.h"
#include "generator/extras/http_extras.h"
#include "generator/run_features.h"
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
  std::unique_ptr<size_report> report;      // with -r only

  run_features features() { return {*data, deps, extras.get(), report.get()}; }
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
  const platform::os_handle report = objects.report->handle();
  bool overlaps = objects.data->writes(report) || (objects.extras && objects.extras->writes(report)) ||
                  (objects.deps.file.opened && platform::same_file(report, objects.deps.file.handle));
  for (file_handle* output : output_set_files(context))
    overlaps = overlaps || (output->opened && platform::same_file(report, output->handle));
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
  if (uses_extras(line) && !read_http_extras_settings(line, extras)) {
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

int run(builder_context& context, run_objects& objects, int argc, wchar_t** argv) {
  command_line line;
  http_extras_options extras;
  int exit_code = 0;
  if (!parse_command_line(argc, argv, line, exit_code) ||
      !apply_switches(context, line, objects, extras, exit_code))
    return exit_code;
  if (!context.quiet) out_printf(L"%ls", banner);

  data_writer& data = *objects.data;
  if (open_output_set(context, line.target, line.append) != 0 || !data.open(context, line.target, line.append)) {
    out_printf(L"\n[FAILED]\n");
    wait_when_debugged();
    return -1;
  }
  bool arrays = context.namespace_path != nullptr;
  const bool with_extras = uses_extras(line);
  if (!open_report(line, objects) ||
      (with_extras && !(objects.extras = start_http_extras(data, line.target, arrays, context.quiet, extras,
                                                           objects.report.get())))) {
    data.discard();
    out_printf(L"\n[FAILED]\n");
    wait_when_debugged();
    return -1;
  }
  std::wstring manifest = with_extras ? manifest_name(line.target, arrays) : std::wstring();
  if (line.dependency_name && !open_dependency_file(objects.deps, line.dependency_name, line.target,
                                                    data.file_name(), manifest.empty() ? nullptr : manifest.c_str()))
    context.output_incomplete = 1;
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
  finish_output_set(context);
  if (objects.extras) finish_http_extras(context, std::move(objects.extras));
  if (objects.report && !objects.report->finish(line.target, with_extras ? &extras.plan : nullptr))
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
