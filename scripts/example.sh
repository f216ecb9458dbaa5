#!/usr/bin/env bash
# Builds the tool and runs it on the bundled example site, then shows what
# it generated (examples/out/site.cpp and site.h). Installs what the build
# needs with apt-get when it runs as root.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install_packages.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEX_BUILD_TESTS=OFF > /dev/null
ninja -C build/release vex_resource_builder
mkdir -p examples/out
tool=$(pwd)/build/release/vex_resource_builder
# Targets are relative to the start directory; -d moves into the site, whose
# items lie at the root (index.html) or become namespaces (css, img, js).
"$tool" examples/out/site.cpp -d examples/site '*'
echo
echo "== examples/out/site.h"
cat examples/out/site.h
echo "== examples/out/site.cpp (first 60 lines of $(wc -l < examples/out/site.cpp))"
head -n 60 examples/out/site.cpp
