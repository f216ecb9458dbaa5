#pragma once
// The run sequence: switches, banner, output set, sources, finish.

/// Exit code when the output set was opened but could not be written
/// completely (a failed write, copy, seek or truncation): a build must not
/// go on with such files.
inline constexpr int exit_output_incomplete = 2;

/// Runs the tool on the wide argument vector (element 0 is the program's
/// name); returns the exit code.
int run_builder(int argc, wchar_t** argv);
