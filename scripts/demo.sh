#!/usr/bin/env bash
# Builds the project and writes the example page into ./demo-out.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j "$(nproc)" --target quillon-write-pages
mkdir -p demo-out
"$build_dir/bin/quillon-write-pages" examples/demo-map.json demo-out
