#!/usr/bin/env bash
# Runs the extractor map benchmark over 50,000 markers offscreen and writes its numbers, with
# this command, into the "Extractor map" section of docs/PERFORMANCE.md.
#
#   bench/app/run.sh [BUILD_DIR]     (default: build/, configured if need be)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${1:-$root/build}"
invocation="bench/app/run.sh${1:+ $1}"
source "$root/bench/common.sh"

bench_configure "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target region_map_bench >/dev/null
build_type=$(awk -F= '/^CMAKE_BUILD_TYPE:/ { print $2 }' "$build/CMakeCache.txt")
load_before=$(cut -d' ' -f1 /proc/loadavg)
results=$(QT_QPA_PLATFORM=offscreen "$build/bench/app/region_map_bench" --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null)

# The median of the five runs, in the unit the benchmark reports, as "value unit".
median() {
  echo "$results" | awk -F, -v name="\"$1_median\"" '$1 == name { printf "%.3g %s", $3, $5 }' | tr -d '"'
}
machine="$(nproc) cores, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)"
machine="$machine, load average $load_before when the runs began"

report=$(cat <<REPORT
## Extractor map (\`region_map_bench\`)

The extractor window's map at its design size (683 × 683 pixels) over a region of 50000
objects; median of 5 repetitions, wall-clock time.
Machine: $machine.

| Measure | Result | Target |
|---|---|---|
| Full repaint: marks painted into the image again, widget painted from it | $(median fullRepaint) | under 30 ms |
| Repaint while dragging: one pointer move, the lines' strips painted | $(median dragRepaint) | under 8 ms |
| One "Extraire" over all 50000 objects, then the full repaint | $(median extraire) | under 100 ms |
| Hover lookup of the mark under the pointer | $(median hoverLookup) | under 0.1 ms |

The marks are written straight into an image that is rebuilt only when the table or the
size changes; a pointer move repaints the strips its four lines leave and enter from that
image; the hover lookup reads the few cells of a 64 × 64 grid around the pointer.

Command: \`$invocation\` (build type $build_type).
REPORT
)

echo "$report"

bench_write_section "$root/docs/PERFORMANCE.md" "Extractor map" "$report"
