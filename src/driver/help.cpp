#include "driver/help.h"

#include "generator/extras/compression.h"
#include "support/format.h"

#ifndef VEX_RESOURCE_BUILDER_VERSION
#error "the build defines VEX_RESOURCE_BUILDER_VERSION from the project's version"
#endif

namespace {

// The whole text of --help, one line per switch.
constexpr const wchar_t* help_text =
    L"vex_resource_builder: turns a tree of static web files into C++ source.\n"
    L"\n"
    L"usage: vex_resource_builder [-q] [-a] [-b] [-f] [-h] [-M deps.d] [-t seconds]\n"
    L"         [-m form] [-s shards] [-n name] [-u] [-x] [-z coding] [-c cache-dir]\n"
    L"         [-j workers] [-r report] <target.cpp> [-d dir] <source 1-n>\n"
    L"       vex_resource_builder --help | --version\n"
    L"\n"
    L"Switches are recognised by their first two characters, each at most once and\n"
    L"only in the order above; a value is the rest of the argument or the next one.\n"
    L"\n"
    L"  -q            quiet: print failures only\n"
    L"  -a            append to an existing target and header (no all arrays)\n"
    L"  -b            data arrays for a big-endian consumer\n"
    L"  -f            flat labels: records named by the file's own name\n"
    L"  -h            one namespace per directory (always on), implies -f\n"
    L"  -M deps.d     also write a Make-style dependency file\n"
    L"  -t seconds    files written later than this time (since 1970) get its date\n"
    L"  -m form       how the files' bytes reach the program (forms below)\n"
    L"  -s shards     write the records into this many sources, 1 to 256, to compile\n"
    L"                in parallel: <target>.cpp (with the all arrays) and\n"
    L"                <target>.1.cpp ... (also spelled --shards)\n"
    L"  -n name       the set's name: its namespaces and symbols start with it\n"
    L"                instead of vex_res, so that several sets share one program\n"
    L"  -u            UTF-8 names: names and paths of any character\n"
    L"  -x            HTTP extras: strong ETags, br, gzip and zstd variants, hashed\n"
    L"                paths and <target>.manifest.json\n"
    L"  -z coding     -x, but a file that compresses is held in this coding only\n"
    L"                (gzip, br or zstd; its record's data and text are null)\n"
    L"  -c cache-dir  -x's cache (else env VEX_RESOURCE_CACHE, else <target>.cache)\n"
    L"  -j workers    -x's threads (else env VEX_RESOURCE_JOBS, else one per core)\n"
    L"  -r report     a size report of what the program holds: report.json, or\n"
    L"                report.html, one page with a treemap that needs no network\n"
    L"  -d dir        change the current directory before the sources that follow\n"
    L"  --help        print this text\n"
    L"  --version     print the version and the libraries of this build\n"
    L"\n"
    L"Forms of -m:\n"
    L"  words            uint64_t arrays in the target (the default; any compiler)\n"
    L"  incbin           the bytes in <target>.bin, which the assembler includes\n"
    L"                   (GCC and Clang; compile with -Wa,-I<its directory>)\n"
    L"  literal          string literals in the target (any compiler; MSVC only for\n"
    L"                   files under 64 KiB: use object there)\n"
    L"  object           an object file beside the target, <target>.data.o (or\n"
    L"                   .data.obj for COFF), in this platform's format\n"
    L"  object:<format>  the same in <format>: elf-x86-64, elf-arm64, coff-x86-64,\n"
    L"                   coff-arm64, macho-x86-64, macho-arm64\n"
    L"\n"
    L"A source is a file, a directory (walked recursively) or a pattern (*,\n"
    L"www/*.html). The target - writes the source to standard output.\n"
    L"\n"
    L"Exit codes: 0 done; 1 a bad command line; 2 the output is incomplete (a build\n"
    L"must not use it); 255 the output could not be opened, or no memory.\n";

}  // namespace

bool print_help() { return out_printf(L"%ls", help_text) >= 0; }

bool print_version() {
  bool written = out_printf(L"vex_resource_builder %hs\nlibraries:", VEX_RESOURCE_BUILDER_VERSION) >= 0;
  const char* separator = " ";
  for (const compression_library& library : compression_libraries()) {
    written = out_printf(L"%hs%hs %hs", separator, library.name, library.version) >= 0 && written;
    separator = ", ";
  }
  return out_printf(L"\n") >= 0 && written;
}
