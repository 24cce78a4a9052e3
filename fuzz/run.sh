#!/usr/bin/env bash
# Builds the fuzz targets into build-fuzz/ with clang and runs each for SECONDS (default 20)
# over its corpus: the seeds of fuzz/corpus/<target>/ and the tree's test data, plus what
# earlier runs found (build-fuzz/corpus/<target>/). Exits non-zero on any crash, sanitizer
# report or failed check; the input that caused it is left in build-fuzz/artifacts/.
#   fuzz/run.sh [SECONDS] [TARGET...]
#
# With --fixed (as ./test runs it), each target replays the stored seeds only, then tries new
# inputs drawn with a fixed seed, up to RUNS inputs in all (VANTOR_FUZZ_RUNS, default 5000): the same inputs
# every time for the same program, so such a run fails only for a fault in the code it
# runs, never because this time the draw went elsewhere. Nothing earlier runs found is read,
# and what this one finds is dropped.
#   fuzz/run.sh --fixed [TARGET...]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
fixed=0
if [ "${1:-}" = --fixed ]; then
  fixed=1
  shift
  seconds=""
else
  seconds="${1:-20}"
  shift || true
fi
fixed_runs="${VANTOR_FUZZ_RUNS:-5000}"
build="$root/build-fuzz"

compiler="$(command -v clang++-14 || command -v clang++ || true)"
if [ -z "$compiler" ]; then
  echo "fuzz: clang++ not found, fuzz targets skipped"
  exit 0
fi
werror="${VANTOR_WERROR:-OFF}"
if [ "${CI:-}" = "true" ]; then
  werror=ON
fi
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER="$compiler" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVANTOR_BUILD_FUZZ=ON -DVANTOR_BUILD_GUI=OFF -DVANTOR_BUILD_TESTS=OFF -DVANTOR_BUILD_BENCH=OFF \
  -DVANTOR_WERROR="$werror" "${launcher[@]}" >/dev/null
cmake --build "$build" --target fuzz_targets --parallel "$(nproc)"

# Seeds from the tree besides fuzz/corpus/<target>/.
tree_seeds() {
  case "$1" in
    conversion) echo "$root/examples/house.txt" "$root/tests/extract/data/three_objects.expected.txt" ;;
    language_file) echo "$root"/lang/*.lng ;;
    scene_load | listing_export) echo "$root/tests/extract/data/malformed_lines.txt" ;;
  esac
}

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for binary in "$build"/fuzz/fuzz_*; do
    [ -f "$binary" ] && [ -x "$binary" ] && targets+=("$(basename "$binary" | sed 's/^fuzz_//')")
  done
fi

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
failed=0
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  seeds="$build/seeds/$target"
  # A fixed run takes the stored seeds as the tree holds them now, nothing left from before.
  if [ "$fixed" = 1 ]; then rm -rf "$seeds"; fi
  mkdir -p "$corpus" "$seeds" "$build/artifacts" "$build/logs"
  for seed in $(tree_seeds "$target"); do cp -f "$seed" "$seeds/"; done
  if [ -d "$root/fuzz/corpus/$target" ]; then cp -f "$root/fuzz/corpus/$target"/* "$seeds/"; fi
  log="$build/logs/$target.log"
  if [ "$fixed" = 1 ]; then
    # New finds go to a scratch folder, emptied first, so that no run starts from another's.
    corpus="$build/fixed/$target"
    rm -rf "$corpus"
    mkdir -p "$corpus"
    limits=(-seed=1 -runs="$fixed_runs")
    what="seed 1, $(find "$seeds" -type f | wc -l) stored inputs, then new ones up to $fixed_runs"
  else
    limits=(-max_total_time="$seconds")
    what="${seconds} s"
  fi
  if "$build/fuzz/fuzz_$target" "${limits[@]}" -timeout=30 -print_final_stats=1 \
       -artifact_prefix="$build/artifacts/$target-" "$corpus" "$seeds" >"$log" 2>&1; then
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
    echo "fuzz_$target: $what, ${runs:-?} runs, corpus $(find "$corpus" -type f | wc -l) files: no fault"
  else
    echo "fuzz_$target: FAULT (log $log)"
    grep -E "ERROR|runtime error|check failed|Test unit written" "$log" | head -n 10 || true
    failed=1
  fi
done
exit "$failed"
