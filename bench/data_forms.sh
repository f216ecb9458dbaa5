#!/usr/bin/env bash
# The data forms side by side: what writing and compiling the generated
# source costs, and for the object form, which needs no compiling of its
# data, what linking its object costs.
#   bench/data_forms.sh [tool] [parts...]
# tool defaults to build-release/vex_resource_builder. parts (default: all):
#   file   a 64 MiB random file: the tool and each form with g++ -O2 and
#          clang++ -O2, xxd -i as the baseline (seconds and peak KiB each)
#   tree   the same for a 64 MB tree of 1,100 files (bench/make_tree.py)
#   small  10,000 small files in 200 directories, incbin and object with
#          g++ -O2 and clang++ -O2 (words too when VEX_BENCH_SLOW=1: minutes)
#   huge   a 1 GiB file: the tool (incbin and object) against cp, compiling
#          the incbin source, and linking the object form's program
#   cmake  a consumer of vex_add_resources on the tree, with each of
#          VEX_BENCH_CMAKE_FORMS in turn (default "OBJECT INCBIN OBJECT+lld",
#          +lld linking with -fuse-ld=lld), three rounds: a fresh configure
#          and build; then the rebuild of each after editing one file
# VEX_BENCH_FORMS picks the forms (default "words literal incbin object"),
# VEX_BENCH_XXD=0 leaves out the xxd -i baseline (minutes and 10 GB).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
tool=$(realpath "${1:-$root/build-release/vex_resource_builder}")
shift || true
parts=${*:-file tree small huge cmake}
work=$(mktemp -d "${TMPDIR:-/tmp}/vex_data_forms.XXXXXX")
trap 'rm -rf "$work"' EXIT

# measure <label> <command...>: one line with wall seconds, processor
# seconds (user and system: on a shared machine the steadier figure) and
# peak KiB.
measure() {
  local label=$1
  shift
  /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" > /dev/null 2> "$work/stderr" || {
    printf '  %-42s failed: %s\n' "$label" "$(tail -c 300 "$work/stderr")"
    return 0
  }
  read -r seconds user system kib < "$work/time"
  printf "  %-42s %8.2f s %8.2f s cpu %10d KiB\n" "$label" "$seconds" "$(awk -v u="$user" -v s="$system" \
    'BEGIN { print u + s }')" "$kib"
}

# measure_compile <label> <compiler> <dir with res.cpp> [flags...]: the
# generated source alone, -O2.
measure_compile() {
  local label=$1 compiler=$2 dir=$3
  shift 3
  measure "$label" "$compiler" -std=c++17 -O2 -c -I"$root/include" -I"$root/tests/consumer" \
    -DVEX_GENERATED_HEADER="\"$dir/res.h\"" -Wa,-I"$dir" "$@" "$dir/res.cpp" -o "$dir/res.o"
}

# measure_link <label> <compiler> <dir>: the compiled res.o (and the object
# form's res.data.o) linked into a program that sorts the records.
measure_link() {
  local label=$1 compiler=$2 dir=$3
  shift 3
  printf '#include "pch.h"\nint main() { vex_res::sort_all(); return vex_res::all_length == 0; }\n' > "$dir/main.cpp"
  "$compiler" -std=c++17 -O2 -c -I"$root/include" -I"$root/tests/consumer" -DVEX_GENERATED_HEADER="\"$dir/res.h\"" \
    "$dir/main.cpp" -o "$dir/main.o"
  local data=()
  [ ! -f "$dir/res.data.o" ] || data=("$dir/res.data.o")
  measure "$label" "$compiler" "$@" "$dir/main.o" "$dir/res.o" "${data[@]}" -o "$dir/program"
}

# seconds <command...>: wall-clock seconds of one run.
seconds() {
  local start=$EPOCHREALTIME
  "$@" > /dev/null
  awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.4f\n", b - a }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { printf "%.4f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# writing <source dir> <pattern>: the tool writing the incbin form's binary
# file and the object form's object, 7 runs each taken in turn (the noise of
# a shared machine moves between runs): median seconds and their ratio.
writing() {
  mkdir -p "$work/w_incbin" "$work/w_object"
  local incbin=() object=()
  for ((i = 0; i < 7; ++i)); do
    incbin+=("$(seconds "$tool" -q -m incbin "$work/w_incbin/res.cpp" -d "$1" "$2")")
    object+=("$(seconds "$tool" -q -m object "$work/w_object/res.cpp" -d "$1" "$2")")
  done
  local a b
  a=$(printf '%s\n' "${incbin[@]}" | median)
  b=$(printf '%s\n' "${object[@]}" | median)
  printf "  %-42s %8.3f s\n  %-42s %8.3f s   (%.2fx incbin)\n" "tool writing, incbin (median of 7)" "$a" \
    "tool writing, object (median of 7)" "$b" "$(awk -v a="$a" -v b="$b" 'BEGIN { print b / a }')"
  rm -rf "$work/w_incbin" "$work/w_object"
}

# forms <source dir> <pattern>: every form with both compilers.
forms() {
  for form in ${VEX_BENCH_FORMS:-words literal incbin object}; do
    mkdir -p "$work/$form"
    "$tool" -q -m "$form" "$work/$form/res.cpp" -d "$1" "$2" > /dev/null
    rm -rf "$work/$form"/*
    measure "tool, $form" "$tool" -q -m "$form" "$work/$form/res.cpp" -d "$1" "$2"
    for compiler in g++ clang++; do measure_compile "$form, $compiler -O2" "$compiler" "$work/$form"; done
    [ "$form" != object ] || measure_link "object, link with g++" g++ "$work/$form"
    # What vex_add_resources does with Clang on ELF.
    [ "$form" != incbin ] ||
      measure_compile "incbin, clang++ -O2 -fno-integrated-as" clang++ "$work/$form" -fno-integrated-as
  done
}

# xxd_baseline <file>: xxd -i of the file, compiled as C++.
xxd_baseline() {
  [ "${VEX_BENCH_XXD:-1}" = 1 ] || return 0
  (cd "$(dirname "$1")" && xxd -i "$(basename "$1")") > "$work/xxd.cpp"
  for compiler in g++ clang++; do measure "xxd -i, $compiler -O2" "$compiler" -O2 -c "$work/xxd.cpp" -o "$work/xxd.o"; done
}

for part in $parts; do
  case $part in
  file)
    echo "64 MiB random file"
    mkdir -p "$work/file"
    head -c $((64 << 20)) /dev/urandom > "$work/file/data.bin"
    writing "$work/file" data.bin
    forms "$work/file" data.bin
    xxd_baseline "$work/file/data.bin"
    ;;
  tree)
    echo "tree: $(python3 "$here/make_tree.py" "$work/tree")"
    forms "$work/tree" "*"
    find "$work/tree" -type f -print0 | sort -z | xargs -0 cat > "$work/tree_all.bin"
    xxd_baseline "$work/tree_all.bin"
    rm "$work/tree_all.bin"
    ;;
  small)
    echo "10,000 small files in 200 directories"
    for d in $(seq 0 199); do
      mkdir -p "$work/small/d$d"
      for f in $(seq 0 49); do printf 'file %d of directory %d\n' "$f" "$d" > "$work/small/d$d/f$f.txt"; done
    done
    for form in incbin object; do
      mkdir -p "$work/$form"
      measure "tool, $form" "$tool" -q -m $form "$work/$form/res.cpp" -d "$work/small" "*"
      measure_compile "$form, g++ -O2" g++ "$work/$form"
      measure_compile "$form, clang++ -O2" clang++ "$work/$form"
    done
    measure_link "object, link with g++" g++ "$work/object"
    if [ "${VEX_BENCH_SLOW:-0}" = 1 ]; then
      mkdir -p "$work/words"
      "$tool" -q "$work/words/res.cpp" -d "$work/small" "*" > /dev/null
      measure_compile "words, g++ -O2" g++ "$work/words"
    fi
    rm -rf "$work/small" "$work/incbin" "$work/object" "$work/words"
    ;;
  huge)
    echo "1 GiB file"
    mkdir -p "$work/huge" "$work/incbin" "$work/object"
    head -c $((1 << 30)) /dev/urandom > "$work/huge/data.bin"
    cat "$work/huge/data.bin" > /dev/null
    # Three times in turn, each output removed before the next run, as the
    # noise of a shared machine moves between runs; each run starts with
    # the dirty pages of the one before written out.
    for round in 1 2 3; do
      sync
      measure "cp" cp "$work/huge/data.bin" "$work/copy.bin"
      rm "$work/copy.bin"
      sync
      measure "tool, incbin" "$tool" -q -m incbin "$work/incbin/res.cpp" -d "$work/huge" data.bin
      [ $round = 3 ] || rm "$work/incbin/res.bin"
      sync
      measure "tool, object" "$tool" -q -m object "$work/object/res.cpp" -d "$work/huge" data.bin
      [ $round = 3 ] || rm "$work/object/res.data.o"
    done
    sync
    measure_compile "incbin, g++ -O2" g++ "$work/incbin"
    measure_compile "incbin, clang++ -O2" clang++ "$work/incbin"
    measure_compile "object, g++ -O2" g++ "$work/object"
    # GNU ld reads the section into memory and, as Debian's g++ asks it to,
    # hashes the whole output for its build ID.
    measure_link "object, link with g++" g++ "$work/object"
    measure_link "object, link with g++ -Wl,--build-id=none" g++ "$work/object" -Wl,--build-id=none
    measure_link "object, link with g++ -fuse-ld=gold" g++ "$work/object" -fuse-ld=gold
    measure_link "object, link with g++ -fuse-ld=lld" g++ "$work/object" -fuse-ld=lld
    rm -rf "$work/huge" "$work/incbin" "$work/object"
    ;;
  cmake)
    echo "vex_add_resources on the tree, Ninja"
    [ -d "$work/tree" ] || python3 "$here/make_tree.py" "$work/tree" > /dev/null
    tool_dir=$(dirname "$tool")
    cmake_forms=${VEX_BENCH_CMAKE_FORMS:-OBJECT INCBIN OBJECT+lld}
    for round in 1 2 3; do
      for form in $cmake_forms; do
        linker=()
        [ "${form#*+}" = "$form" ] || linker=(-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld="${form#*+}")
        rm -rf "$work/consumer_$form"
        measure "$form: configure" cmake -S "$root/tests/cmake/consumer" -B "$work/consumer_$form" -G Ninja \
          -DCMAKE_BUILD_TYPE=Release -Dvex_resource_builder_DIR="$tool_dir" -DSITE_ROOT="$work/tree" \
          -DEXTRA_OPTIONS="DATA_FORM;${form%%+*}" "${linker[@]}"
        measure "$form: fresh build (round $round)" ninja -C "$work/consumer_$form"
      done
    done
    edited=$(find "$work/tree" -name '*.css' | sort | sed -n 1p)
    echo "/* edited */" >> "$edited"
    for form in $cmake_forms; do measure "$form: rebuild after editing one file" ninja -C "$work/consumer_$form"; done
    ;;
  esac
done
