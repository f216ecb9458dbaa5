#include "driver/command_line.h"

#include <cwchar>

#include "driver/help.h"
#include "support/format.h"
#include "support/system_error.h"

namespace {

constexpr const wchar_t* usage =
    L"::usage::\n\tvex_resource_builder [-a] [-f] [-h] <target.cpp> [-d dir] <source 1-n>\n\t-q  quiet\n\t-a  "
    L"append\n\t-b  use big endianess output\n\t-d  change directory to dir\n\t-f  use flat labels\n\t-h  use "
    L"hierarchy structure, implies -f\n\n";

// The switches without a value, in their order.
struct flag_switch {
  wchar_t letter;
  bool command_line::*effect;
};
constexpr flag_switch flag_switches[] = {{L'a', &command_line::append},
                                         {L'b', &command_line::big_endian},
                                         {L'f', &command_line::flat_labels},
                                         {L'h', &command_line::flat_labels}};

// The switches without a value that follow those with one, in their order.
constexpr flag_switch late_flag_switches[] = {{L'u', &command_line::utf8_names}, {L'x', &command_line::http_extras}};

// The switches with a value, in their order.
struct value_switch {
  wchar_t letter;
  const wchar_t* command_line::*value;
};
constexpr value_switch value_switches[] = {{L'M', &command_line::dependency_name},
                                           {L't', &command_line::clamp_text},
                                           {L'm', &command_line::data_form_text},
                                           {L's', &command_line::shards_text},
                                           {L'n', &command_line::set_name_text}};

// The long spelling of -s, which takes its value from the next argument.
constexpr const wchar_t* shards_option = L"--shards";

// The switches with a value after -x, in their order.
constexpr value_switch late_value_switches[] = {{L'z', &command_line::stored_coding_text},
                                                {L'c', &command_line::cache_directory},
                                                {L'j', &command_line::workers_text},
                                                {L'r', &command_line::report_name}};

// Reads the rest of the argument, or else the next one, as the switch's
// value, advancing i and minimum past what it used. False when the value is
// missing or too few arguments remain for the target.
bool take_value(int argc, wchar_t** argv, int& i, int& minimum, const wchar_t** value) {
  const wchar_t* rest = wcscmp(argv[i], shards_option) == 0 ? L"" : argv[i] + 2;
  int used = *rest ? 1 : 2;
  minimum += used;
  if (argc < minimum || (used == 2 && argv[i + 1][0] == 0)) return false;
  *value = *rest ? rest : argv[i + 1];
  i += used;
  return true;
}

bool is_long_option(const wchar_t* argument) { return argument[0] == L'-' && argument[1] == L'-'; }

// True when argument is the switch of valued at its turn.
bool is_value_switch(const wchar_t* argument, const value_switch& valued) {
  return is_switch(argument, valued.letter) ||
         (valued.value == &command_line::shards_text && wcscmp(argument, shards_option) == 0);
}

// A target that is a switch this tool has, out of its turn, or a letter it
// does not know: -m as the target would write files named -m and -mh. The
// switches of the first group and -d stay targets, as they always were,
// and so does "-", the standard output.
bool is_misplaced_switch(const wchar_t* target) {
  return target[0] == L'-' && target[1] != 0 && !wcschr(L"qabfhd", target[1]);
}

// --help and --version, which stand alone as the first argument; true when
// argument is one of them (and it has been answered, exit_code saying
// whether the answer could be written).
bool answer_long_option(const wchar_t* argument, int& exit_code) {
  bool written = false;
  if (wcscmp(argument, L"--help") == 0) written = print_help();
  else if (wcscmp(argument, L"--version") == 0) written = print_version();
  else return false;
  exit_code = written ? 0 : 1;
  if (!written) {
    uint32_t error = platform::last_error();
    wchar_t text[64];
    format_wide(text, 64, L"cannot write the answer to %s", argument);
    print_system_error(platform::standard_stream::error, error, text);
  }
  return true;
}

}  // namespace

void print_usage() { out_printf(L"%ls%ls", banner, usage); }

bool parse_command_line(int argc, wchar_t** argv, command_line& line, int& exit_code) {
  exit_code = argc == 1 ? 0 : 1;
  if (argc >= 2 && answer_long_option(argv[1], exit_code)) return false;
  // minimum counts the arguments needed so far: the program, the switches
  // seen, the target and one source.
  int i = 1;
  int minimum = 3;
  if (argc >= minimum && is_switch(argv[1], L'q')) {
    line.quiet = true;
    i = 2;
    minimum = 4;
  }
  // Each switch is looked for once, at its turn, so one out of order is
  // taken as the target or a source.
  for (const flag_switch& flag : flag_switches) {
    if (argc < minimum || !is_switch(argv[i], flag.letter)) continue;
    line.*flag.effect = true;
    ++i;
    ++minimum;
  }
  bool values_complete = true;
  const auto take_values = [&](const auto& switches) {
    for (const value_switch& valued : switches) {
      if (values_complete && argc >= minimum && is_value_switch(argv[i], valued))
        values_complete = take_value(argc, argv, i, minimum, &(line.*valued.value));
    }
  };
  take_values(value_switches);
  // The switches without a value after those with one.
  for (const flag_switch& flag : late_flag_switches) {
    if (!values_complete || argc < minimum || !is_switch(argv[i], flag.letter)) continue;
    line.*flag.effect = true;
    ++i;
    ++minimum;
  }
  take_values(late_value_switches);
  // The parse stops at the first argument that is no switch: a long option
  // there is one this tool does not have, not a target name.
  if (i < argc && is_long_option(argv[i])) {
    out_printf(L"unknown option [%s]: see vex_resource_builder --help\n", argv[i]);
    return false;
  }
  if (!values_complete || argc < minimum) {
    print_usage();
    return false;
  }
  if (is_misplaced_switch(argv[i])) {
    out_printf(L"unknown or misplaced switch [%s]\n", argv[i]);
    return false;
  }
  line.target = argv[i];
  line.first_source = i + 1;
  return true;
}
