#!/usr/bin/env bash
# The data forms side by side: what compiling the generated source costs.
#   bench/data_forms.sh [tool] [parts...]
# tool defaults to build-release/vex_resource_builder. parts (default: all):
#   file   a 64 MiB random file: words and incbin with g++ -O2 and clang++ -O2,
#          xxd -i as the baseline (seconds and peak KiB each)
#   tree   the same for a 64 MB tree of 1,100 files (bench/make_tree.py)
#   small  10,000 small files in 200 directories, incbin with g++ -O2
#          (words too when VEX_BENCH_SLOW=1: minutes)
#   huge   a 1 GiB file: the tool against cp, and compiling its source
#   cmake  a consumer of vex_add_resources on the tree, with each of
#          VEX_BENCH_CMAKE_FORMS (default "OBJECT INCBIN") in turn, three
#          rounds: a fresh configure and build; then the rebuild of each
#          after editing one file
# VEX_BENCH_FORMS picks the forms (default "words literal incbin"),
# VEX_BENCH_XXD=0 leaves out the xxd -i baseline (minutes and 10 GB).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
tool=$(realpath "${1:-$root/build-release/vex_resource_builder}")
shift || true
parts=${*:-file tree small huge cmake}
work=$(mktemp -d "${TMPDIR:-/tmp}/vex_data_forms.XXXXXX")
trap 'rm -rf "$work"' EXIT

# measure <label> <command...>: one line with wall seconds and peak KiB.
measure() {
  local label=$1
  shift
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" > /dev/null 2> "$work/stderr" || {
    printf '  %-42s failed: %s\n' "$label" "$(tail -c 300 "$work/stderr")"
    return 0
  }
  read -r seconds kib < "$work/time"
  printf "  %-42s %8.2f s %10d KiB\n" "$label" "$seconds" "$kib"
}

# measure_compile <label> <compiler> <dir with res.cpp> [flags...]: the
# generated source alone, -O2.
measure_compile() {
  local label=$1 compiler=$2 dir=$3
  shift 3
  measure "$label" "$compiler" -std=c++17 -O2 -c -I"$root/include" -I"$root/tests/consumer" \
    -DVEX_GENERATED_HEADER="\"$dir/res.h\"" -Wa,-I"$dir" "$@" "$dir/res.cpp" -o "$dir/res.o"
}

# forms <source dir> <pattern>: every form with both compilers.
forms() {
  for form in ${VEX_BENCH_FORMS:-words literal incbin}; do
    mkdir -p "$work/$form"
    "$tool" -q -m "$form" "$work/$form/res.cpp" -d "$1" "$2" > /dev/null
    for compiler in g++ clang++; do measure_compile "$form, $compiler -O2" "$compiler" "$work/$form"; done
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
    mkdir -p "$work/incbin"
    measure "tool, incbin" "$tool" -q -m incbin "$work/incbin/res.cpp" -d "$work/small" "*"
    measure_compile "incbin, g++ -O2" g++ "$work/incbin"
    measure_compile "incbin, clang++ -O2" clang++ "$work/incbin"
    if [ "${VEX_BENCH_SLOW:-0}" = 1 ]; then
      mkdir -p "$work/words"
      "$tool" -q "$work/words/res.cpp" -d "$work/small" "*" > /dev/null
      measure_compile "words, g++ -O2" g++ "$work/words"
    fi
    rm -rf "$work/small" "$work/incbin" "$work/words"
    ;;
  huge)
    echo "1 GiB file"
    mkdir -p "$work/huge" "$work/incbin"
    head -c $((1 << 30)) /dev/urandom > "$work/huge/data.bin"
    cat "$work/huge/data.bin" > /dev/null
    measure "cp" cp "$work/huge/data.bin" "$work/copy.bin"
    rm "$work/copy.bin"
    measure "tool, incbin" "$tool" -q -m incbin "$work/incbin/res.cpp" -d "$work/huge" data.bin
    rm "$work/incbin/res.bin"
    measure "cp" cp "$work/huge/data.bin" "$work/copy.bin"
    rm "$work/copy.bin"
    measure "tool, incbin" "$tool" -q -m incbin "$work/incbin/res.cpp" -d "$work/huge" data.bin
    measure_compile "incbin, g++ -O2" g++ "$work/incbin"
    measure_compile "incbin, clang++ -O2" clang++ "$work/incbin"
    rm -rf "$work/huge" "$work/incbin"
    ;;
  cmake)
    echo "vex_add_resources on the tree, Ninja"
    [ -d "$work/tree" ] || python3 "$here/make_tree.py" "$work/tree" > /dev/null
    tool_dir=$(dirname "$tool")
    cmake_forms=${VEX_BENCH_CMAKE_FORMS:-OBJECT INCBIN}
    for round in 1 2 3; do
      for form in $cmake_forms; do
        rm -rf "$work/consumer_$form"
        measure "$form: configure" cmake -S "$root/tests/cmake/consumer" -B "$work/consumer_$form" -G Ninja \
          -DCMAKE_BUILD_TYPE=Release -Dvex_resource_builder_DIR="$tool_dir" -DSITE_ROOT="$work/tree" \
          -DEXTRA_OPTIONS="DATA_FORM;$form"
        measure "$form: fresh build (round $round)" ninja -C "$work/consumer_$form"
      done
    done
    edited=$(find "$work/tree" -name '*.css' | sort | sed -n 1p)
    echo "/* edited */" >> "$edited"
    for form in $cmake_forms; do measure "$form: rebuild after editing one file" ninja -C "$work/consumer_$form"; done
    ;;
  esac
done
