#!/usr/bin/env bash
# Builds the project and converts the example plant into ./demo-out.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j "$(nproc)" --target quillon-cli
mkdir -p demo-out
# The example settings are copied, so that the demo never changes them.
cp examples/registry.reg demo-out/registry.reg
"$build_dir/bin/quillon" --registry demo-out/registry.reg convert --node THISNODE \
  examples/pictures/*.grf
echo "Pages, images and logs written to $(pwd)/demo-out/ (each NAME.Log lists what could not be converted)"
echo "Open $(pwd)/demo-out/Overview.html in a browser to see the example plant" \
     "(Overview.htm is the page for the applet viewer)"
