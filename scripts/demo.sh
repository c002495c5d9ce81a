#!/usr/bin/env bash
# Builds the command and converts the example plant into ./demo-out.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --demo
build_dir=${BUILD_DIR:-build-demo}
if [ ! -x "$build_dir/bin/quillon" ]; then
  echo "building, about 5 minutes the first time (log: $build_dir/demo-build.log)"
fi
mkdir -p "$build_dir"
if ! { cmake -S . -B "$build_dir" -DQUILLON_TESTS=OFF -DQUILLON_BENCH=OFF &&
       cmake --build "$build_dir" -j "$(nproc)" --target quillon-cli; } \
     >"$build_dir/demo-build.log" 2>&1; then
  tail -n 30 "$build_dir/demo-build.log" >&2
  echo "demo: the build failed; the whole log is $build_dir/demo-build.log" >&2
  exit 1
fi
mkdir -p demo-out
# The example settings are copied beside the build, never into the published
# folder, so that the demo never changes them and the site holds only pages.
cp examples/registry.reg "$build_dir/demo-settings.reg"
"$build_dir/bin/quillon" --registry "$build_dir/demo-settings.reg" convert --node THISNODE \
  examples/pictures/*.grf
echo "Pages, images and logs written to $(pwd)/demo-out/ (each NAME.Log lists what could not be converted)"
echo "Open $(pwd)/demo-out/Overview.html in a browser to see the example plant" \
     "(Overview.htm is the page for the applet viewer; index.html lists every picture)"
