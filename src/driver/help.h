#pragma once
// The answers to --help and --version, which stand alone as the first
// argument.

/// Prints the full usage: the synopsis, one line per switch, the forms of
/// -m and the exit codes. False when it could not be written.
bool print_help();

/// Prints the tool's version and the compression libraries of this build.
/// False when it could not be written.
bool print_version();
