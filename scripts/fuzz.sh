#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
# SECONDS defaults to 60; TARGET defaults to every target. Two targets run at
# a time. New inputs that crash are kept in fuzz/findings/TARGET/ and make
# the script fail; the corpus grows in build-fuzz/corpus/TARGET/.
# FUZZ_SEED fixes libFuzzer's seed (a run with the same seed and corpus tries
# the same inputs in the same order); unset, every run is different.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(document_loader conversion record translator format_mask registry)
fi

scripts/install-deps.sh
build_dir=${FUZZ_BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build_dir" -DQUILLON_FUZZ=ON -DQUILLON_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" -j "$(nproc)" \
  $(for t in "${targets[@]}"; do printf -- '--target %s_fuzzer ' "$t"; done)

export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
status=0
run() {
  local target=$1
  local corpus="$build_dir/corpus/$target"
  local findings="fuzz/findings/$target"
  mkdir -p "$corpus" "$findings"
  local seed=()
  if [ -n "${FUZZ_SEED:-}" ]; then seed=(-seed="$FUZZ_SEED"); fi
  if "$build_dir/bin/${target}_fuzzer" "$corpus" "fuzz/corpus/$target" "${seed[@]}" \
      -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
      -artifact_prefix="$findings/" -print_final_stats=1 \
      >"$build_dir/$target.log" 2>&1; then
    echo "$target: $(grep -E '^stat::number_of_executed_units' "$build_dir/$target.log" | awk '{print $2}') runs, no finding"
  else
    echo "$target: FINDING, see $build_dir/$target.log and $findings/"
    return 1
  fi
}
pids=()
for target in "${targets[@]}"; do
  run "$target" &
  pids+=($!)
  if [ ${#pids[@]} -ge 2 ]; then
    wait "${pids[0]}" || status=1
    pids=("${pids[@]:1}")
  fi
done
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
exit $status
