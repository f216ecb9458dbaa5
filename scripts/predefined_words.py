#!/usr/bin/env python3
"""Regenerates (or with --check, verifies) the words that no generated
identifier may be, because a consumer's compiler gives them a meaning of
its own:

src/generator/names/predefined_macros.inc: the object-like macros that a
consumer of the generated code may have defined. They are taken from the
compilers here, each asked for every macro defined after the kit's header
and the C library's headers (which a consumer's code beside the generated
one includes as well) in the GNU and the strict mode: g++, clang++ and the
mingw-w64 cross compiler, and clang++'s own predefined macros for 32-bit
x86. Names that begin with '_' and a capital letter or hold "__" are left
out: the identifier rule gives every such name a trailing '_' anyway. That
also covers every macro that MSVC documents as predefined; MSVC_PREDEFINED
holds them so that the check below fails if that ever stops being true.

src/generator/names/extension_keywords.inc: the keywords that the same
compilers add in their GNU modes (typeof). The candidates are the names
that the compilers' own programs hold (a keyword table is a list of
strings; a linker may store a word as the tail of a longer one, as
"typeof" in "__typeof", so every name after an underscore is tried too).
Each candidate is declared as a variable in a namespace in the GNU mode
with no macro defined; those that fail there but compile in the strict mode
of the same standard are the extension keywords."""
import os
import re
import shutil
import subprocess
import sys
import tempfile

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NAMES = os.path.join(REPO, "src", "generator", "names")
MACROS_OUTPUT = os.path.join(NAMES, "predefined_macros.inc")
KEYWORDS_OUTPUT = os.path.join(NAMES, "extension_keywords.inc")
COMPILERS = ["g++", "clang++", "x86_64-w64-mingw32-g++"]
MODES = ["-std=gnu++20", "-std=c++20", "-std=gnu++17", "-std=c++17"]
HEADERS = ["vex_resource_builder/vex_resource.h", "cassert", "cctype", "cerrno", "cfenv", "cfloat", "cinttypes",
           "climits", "clocale", "cmath", "csetjmp", "csignal", "cstdarg", "cstddef", "cstdint", "cstdio",
           "cstdlib", "cstring", "ctime", "cuchar", "cwchar", "cwctype"]

MSVC_PREDEFINED = """
__cplusplus __DATE__ __FILE__ __LINE__ __STDC__ __STDC_HOSTED__ __STDC_NO_ATOMICS__ __STDC_NO_COMPLEX__
__STDC_NO_THREADS__ __STDC_NO_VLA__ __STDC_VERSION__ __STDCPP_DEFAULT_NEW_ALIGNMENT__ __STDCPP_THREADS__
__TIME__ __ATOM__ __AVX__ __AVX2__ __AVX512BW__ __AVX512CD__ __AVX512DQ__ __AVX512F__ __AVX512VL__
__AVX10_VER__ _CHAR_UNSIGNED __CLR_VER _CONTROL_FLOW_GUARD __COUNTER__ __cplusplus_cli
__cplusplus_winrt _CPPRTTI _CPPUNWIND _DEBUG _DLL __FUNCDNAME__ __FUNCSIG__ __FUNCTION__
_INTEGRAL_MAX_BITS __INTELLISENSE__ _ISO_VOLATILE _KERNEL_MODE _M_AMD64 _M_ARM _M_ARM_ARMV7VE _M_ARM_FP
_M_ARM64 _M_ARM64EC _M_CEE _M_CEE_PURE _M_CEE_SAFE _M_FP_CONTRACT _M_FP_EXCEPT _M_FP_FAST _M_FP_PRECISE
_M_FP_STRICT _M_IX86 _M_IX86_FP _M_X64 _MANAGED _MSC_BUILD _MSC_EXTENSIONS _MSC_FULL_VER _MSC_VER
_MSVC_LANG __MSVC_RUNTIME_CHECKS _MSVC_TRADITIONAL _MT _NATIVE_WCHAR_T_DEFINED _OPENMP _PREFAST_
__SANITIZE_ADDRESS__ __TIMESTAMP__ _VC_NODEFAULTLIB _WCHAR_T_DEFINED _WIN32 _WIN64 _WINRT_DLL
""".split()


def reserved_by_rule(word):
    """The identifier rule gives these a trailing '_' whatever the lists say."""
    return re.match(r"__|_[A-Z]", word) is not None


def object_like_macros(compiler, flags, headers):
    with tempfile.TemporaryDirectory() as work:
        source = os.path.join(work, "kit.cpp")
        with open(source, "w") as f:
            f.write("".join("#include <%s>\n" % header for header in headers))
        out = subprocess.run([compiler] + flags + ["-dM", "-E", "-I", os.path.join(REPO, "include"), source],
                             capture_output=True, text=True, check=True).stdout
    return {m.group(1) for m in re.finditer(r"^#define (\w+)(?:\s|$)", out, re.M)}


def predefined_macros():
    names = set(MSVC_PREDEFINED)
    for compiler in COMPILERS:
        for mode in MODES:
            names |= object_like_macros(compiler, [mode], HEADERS)
    names |= object_like_macros("clang++", ["-m32", "-std=gnu++20"], [])
    return sorted(names)


def compiler_programs(compiler):
    """The files that hold the compiler's keyword tables: GCC's cc1plus, or
    clang's program and its front-end libraries."""
    out = subprocess.run([compiler, "-print-prog-name=cc1plus"], capture_output=True, text=True).stdout.strip()
    if os.path.isabs(out) and os.path.exists(out):
        return [out]
    program = os.path.realpath(shutil.which(compiler))
    libraries = subprocess.run(["ldd", program], capture_output=True, text=True).stdout
    return [program] + re.findall(r"=> (\S*/libclang[^/\s]*)", libraries)


def candidate_words():
    words = set()
    for compiler in COMPILERS:
        for program in compiler_programs(compiler):
            text = subprocess.run(["strings", "-n", "2", program], capture_output=True, check=True).stdout
            for name in set(re.findall(rb"[A-Za-z_][A-Za-z0-9_]*", text)):
                name = name.decode()
                # The name itself and every name that follows an underscore in it.
                for start in [0] + [m.end() for m in re.finditer("_+", name)]:
                    word = name[start:]
                    if word and not word[0].isdigit() and not reserved_by_rule(word):
                        words.add(word)
    return words


def failing_words(compiler, mode, words):
    """The words that cannot name a variable in a namespace, with no macro
    defined. A failing declaration may hide the next one from the compiler,
    so the rest is compiled again until it compiles."""
    error_limit = "-ferror-limit=0" if "clang" in compiler else "-fmax-errors=0"
    failing = set()
    rest = sorted(words)
    with tempfile.TemporaryDirectory() as work:
        source = os.path.join(work, "words.cpp")
        while rest:
            with open(source, "w") as f:
                f.write("namespace vex_probe {\n" + "".join("int %s;\n" % word for word in rest) + "}\n")
            proc = subprocess.run([compiler, mode, "-undef", "-fsyntax-only", "-w", error_limit, source],
                                  capture_output=True, text=True)
            if proc.returncode == 0:
                break
            lines = {int(n) for n in re.findall(r"^[^:\n]*words\.cpp:(\d+):\d+: error", proc.stderr, re.M)}
            found = {rest[n - 2] for n in lines if 2 <= n < len(rest) + 2}
            if not found:
                sys.exit("%s %s fails without naming a declaration:\n%s" % (compiler, mode, proc.stderr[-2000:]))
            failing |= found
            rest = [word for word in rest if word not in found]
    return failing


def extension_keywords():
    candidates = candidate_words()
    keywords = set()
    for compiler in COMPILERS:
        for gnu_mode in (mode for mode in MODES if "gnu" in mode):
            gnu_failing = failing_words(compiler, gnu_mode, candidates)
            only_gnu = gnu_failing - failing_words(compiler, gnu_mode.replace("gnu", "c"), gnu_failing)
            # Alone, so that no error of a neighbour's declaration counts.
            keywords |= {word for word in only_gnu if failing_words(compiler, gnu_mode, [word])}
    return sorted(keywords)


def generated_text(what, words):
    return ("// Generated by scripts/predefined_words.py: %s, sorted.\n" % what
            + "".join('"%s",\n' % word for word in words))


def main():
    outputs = [(MACROS_OUTPUT, generated_text("object-like macros that the\n// compilers predefine or the kit's "
                                              "standard headers define", predefined_macros())),
               (KEYWORDS_OUTPUT, generated_text("the keywords that the compilers'\n// GNU modes add to the "
                                                "standard's", extension_keywords()))]
    for output, text in outputs:
        if "--check" in sys.argv:
            with open(output) as f:
                if f.read() != text:
                    sys.exit("%s is out of date: run %s" % (output, sys.argv[0]))
            continue
        with open(output, "w") as f:
            f.write(text)
        print("%d names written to %s" % (text.count("\n") - 2, output))


if __name__ == "__main__":
    main()
