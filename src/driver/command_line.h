#pragma once
// The switches and the target of a command line. Switches are recognised by
// their first two characters only, each at most once and in a fixed order:
// -q (first argument only), -a, -b, -f, -h, then the ones with a value, -M,
// -t, -m, -s (the number of shards, also spelled --shards) and -n (the set's
// name), whose value is the rest of the argument or else the next one, then
// -u (UTF-8 names) and -x (side records with ETags and precompressed
// variants), then -z (files held only in one content coding, which implies
// -x), -c (the variant cache's directory), -j (the number of threads that
// compress) and -r (the size report), which take a value too.

/// What the command line asks for.
struct command_line {
  bool quiet = false;
  bool append = false;
  bool big_endian = false;
  bool flat_labels = false;          ///< -f, and -h (one namespace per directory is always on)
  const wchar_t* dependency_name = nullptr;  ///< -M
  const wchar_t* clamp_text = nullptr;       ///< -t
  const wchar_t* data_form_text = nullptr;   ///< -m
  const wchar_t* shards_text = nullptr;      ///< -s, --shards
  const wchar_t* set_name_text = nullptr;    ///< -n
  bool utf8_names = false;                   ///< -u
  bool http_extras = false;                  ///< -x
  const wchar_t* stored_coding_text = nullptr;  ///< -z
  const wchar_t* cache_directory = nullptr;  ///< -c
  const wchar_t* workers_text = nullptr;     ///< -j
  const wchar_t* report_name = nullptr;      ///< -r
  const wchar_t* target = nullptr;
  int first_source = 0;              ///< index of the first argument after the target
};

/// The first lines of every run that is not quiet, and of the usage text.
inline constexpr const wchar_t* banner = L":: resource builder for brimvale  2022-05-31\n\n";

/// Prints the banner and the usage text.
void print_usage();

/// Reads argv into line. False when the run must not go on: then the usage
/// text, the answer to --help or --version, or the message about an unknown
/// long option or a misplaced switch has been printed and exit_code holds
/// the run's exit code.
bool parse_command_line(int argc, wchar_t** argv, command_line& line, int& exit_code);

/// True when argument is switch -letter (its first two characters).
inline bool is_switch(const wchar_t* argument, wchar_t letter) { return argument[0] == L'-' && argument[1] == letter; }
