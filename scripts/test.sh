#!/usr/bin/env bash
# Builds the project and runs the whole test suite.
#   scripts/test.sh            build in ./build and run every test
# BUILD_DIR and CMAKE_ARGS change the build folder and the configuration.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" ${CMAKE_ARGS:-}
cmake --build "$build_dir" -j "$(nproc)"
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)"
