#!/usr/bin/env bash
# Builds the project and runs the whole test suite.
#   scripts/test.sh            build in ./build and run every test
# BUILD_DIR and CMAKE_ARGS change the build folder and the configuration.
# On success it prints a short summary; on a failure, what failed and why
# (the whole output is kept in the build folder).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
build_dir=${BUILD_DIR:-build}
mkdir -p "$build_dir"
echo "building in $build_dir (log: $build_dir/test-build.log)"
if ! { cmake -S . -B "$build_dir" -DQUILLON_TESTS=ON ${CMAKE_ARGS:-} &&
       cmake --build "$build_dir" -j "$(nproc)"; } >"$build_dir/test-build.log" 2>&1; then
  grep -E "error|Error" "$build_dir/test-build.log" | head -n 40 >&2 || true
  tail -n 20 "$build_dir/test-build.log" >&2
  echo "test: the build failed; the whole log is $build_dir/test-build.log" >&2
  exit 1
fi
if grep -q "warning:" "$build_dir/test-build.log"; then
  grep "warning:" "$build_dir/test-build.log" | sort -u >&2
fi
echo "running the tests (log: $build_dir/test-run.log)"
if ! ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)" \
     >"$build_dir/test-run.log" 2>&1; then
  # Each failed test with its output, then the summary.
  sed -n '/\*\*\*Failed\|\*\*\*Exception\|\*\*\*Timeout/,/^ *[0-9]*\/[0-9]* Test/p' \
    "$build_dir/test-run.log" | head -n 400 >&2
  sed -n '/tests passed/,$p' "$build_dir/test-run.log" >&2
  exit 1
fi
sed -n '/tests passed/,/Total Test time/p' "$build_dir/test-run.log"
