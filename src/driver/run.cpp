#include "driver/run.h"

#include "driver/builder_context.h"
#include "driver/clamp_time.h"
#include "driver/format.h"
#include "generator/dependency_file.h"
#include "generator/output_set.h"
#include "generator/walk.h"

namespace {

constexpr const wchar_t* banner = L":: resource builder for brimvale  2022-05-31\n\n";
constexpr const wchar_t* usage =
    L"::usage::\n\tvex_resource_builder [-a] [-f] [-h] <target.cpp> [-d dir] <source 1-n>\n\t-q  quiet\n\t-a  "
    L"append\n\t-b  use big endianess output\n\t-d  change directory to dir\n\t-f  use flat labels\n\t-h  use "
    L"hierarchy structure, implies -f\n\n";

void print_usage() { out_printf(L"%ls%ls", banner, usage); }

bool is_switch(const wchar_t* argument, wchar_t letter) { return argument[0] == L'-' && argument[1] == letter; }

// Takes switch letter with its value when argument i is that switch,
// advancing i and minimum past what it used. False, after the usage text,
// when the value is missing or too few arguments remain for the target.
bool switch_value(int argc, wchar_t** argv, int& i, int& minimum, wchar_t letter, const wchar_t** value) {
  if (!is_switch(argv[i], letter)) return true;
  const wchar_t* rest = argv[i] + 2;
  int used = *rest ? 1 : 2;
  minimum += used;
  if (argc < minimum || (used == 2 && argv[i + 1][0] == 0)) {
    print_usage();
    return false;
  }
  *value = *rest ? rest : argv[i + 1];
  i += used;
  return true;
}

// Changes the directories and walks the sources after the target.
void process_sources(builder_context& context, int argc, wchar_t** argv, int i) {
  for (; i < argc; ++i) {
    const wchar_t* argument = argv[i];
    if (!is_switch(argument, L'd')) {
      walk_source(context, argument, 0);
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
    note_directory_change(context, directory);
    if (!context.quiet) out_printf(L"cd [%s]\n", directory);
  }
}

int run(builder_context& context, int argc, wchar_t** argv) {
  if (argc < 3) {
    print_usage();
    return argc == 1 ? 0 : 1;
  }
  int i = 1;
  int minimum = 3;
  if (is_switch(argv[1], L'q')) {
    context.quiet = 1;
    i = 2;
    minimum = 4;
    if (argc < minimum) {
      print_usage();
      return 1;
    }
  }
  bool append = false;
  uint8_t* effects[] = {nullptr, &context.big_endian, &context.flat_labels, &context.flat_labels};
  const wchar_t letters[] = {L'a', L'b', L'f', L'h'};
  for (int k = 0; k < 4; ++k) {
    if (!is_switch(argv[i], letters[k])) continue;
    if (k == 0) append = true;
    else *effects[k] = 1;
    if (k == 3) context.hierarchy = 1;
    ++i;
    ++minimum;
    if (argc < minimum) {
      print_usage();
      return 1;
    }
  }
  // Switches added after the fixed ones, each with a value that is the
  // rest of the argument or, when that is empty, the next argument.
  const wchar_t* dependency_name = nullptr;
  if (!switch_value(argc, argv, i, minimum, L'M', &dependency_name)) return 1;
  const wchar_t* clamp_text = nullptr;
  if (!switch_value(argc, argv, i, minimum, L't', &clamp_text)) return 1;
  if (clamp_text && !parse_clamp_time(clamp_text, &context.latest_write_time)) {
    out_printf(L"invalid time [%s]: give whole seconds since 1970-01-01 UTC, from 1601 to the end of 9999\n",
               clamp_text);
    return 1;
  }
  if (dependency_name && !reserve_dependency_file(context.deps)) return -1;

  const wchar_t* target = argv[i++];
  if (!context.quiet) out_printf(L"%ls", banner);

  if (open_output_set(context, target, append) != 0) {
    out_printf(L"\n[FAILED]\n");
    if (platform::debugger_present()) platform::wait_for_console_char();
    else out_printf(L"\n");
    return -1;
  }
  if (dependency_name && !open_dependency_file(context, dependency_name, target)) context.output_incomplete = 1;
  process_sources(context, argc, argv, i);
  finish_dependency_file(context);
  finish_output_set(context);
  if (!context.quiet) {
    out_printf(L"\n[finished]");
    if (platform::debugger_present()) {
      out_printf(L" press ENTER...");
      platform::wait_for_console_char();
    } else {
      out_printf(L"\n");
    }
  }
  return context.output_incomplete ? exit_output_incomplete : 0;
}

}  // namespace

int run_builder(int argc, wchar_t** argv) {
  builder_context context{};
  init_context(context);
  int code = run(context, argc, argv);
  release_context(context);
  return code;
}
