#!/usr/bin/env bash
# Times vantor-cli extract with a rectangle on a 50,000-object scene file written by the
# conversion run, against `wc -l` on the same file as the floor (the least any reader of the
# file can cost), and measures the peak memory. Prints the numbers and writes them into the
# Extraction section of docs/PERFORMANCE.md.
#
#   bench/extract/run.sh [BUILD_DIR]     (default: build/, configured if need be)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${1:-$root/build}"
invocation="bench/extract/run.sh${1:+ $1}"
objects=50000
runs=7
rectangle="64,64,192,192"

if [ ! -x /usr/bin/time ]; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends time >/dev/null
fi
if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target vantor-cli make_region_scene >/dev/null
build_type=$(awk -F= '/^CMAKE_BUILD_TYPE:/ { print $2 }' "$build/CMakeCache.txt")

work="$build/bench-extract"
mkdir -p "$work"
scene="$work/region$objects.xml"
if [ ! -f "$scene" ]; then
  "$build/bench/extract/make_region_scene" "$work" "$objects" >/dev/null
fi
cli="$build/cli/vantor-cli"
command=("$cli" extract "$scene" --out "$work/selection.xml" --rect "$rectangle")

# Best of several runs, in milliseconds, with the file in the page cache.
best_ms() {
  local best=""
  for _ in $(seq "$runs"); do
    rm -f "$work/selection.xml" "$work/selection.txt"
    local start end ms
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    ms=$(( (end - start) / 1000000 ))
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  echo "$best"
}

load_before=$(cut -d' ' -f1 /proc/loadavg)
cat "$scene" >/dev/null
floor_ms=$(best_ms wc -l "$scene")
extract_ms=$(best_ms "${command[@]}")
rm -f "$work/selection.xml" "$work/selection.txt"
peak_kb=$(/usr/bin/time -f "%M" "${command[@]}" 2>&1 >/dev/null | tail -1)
summary=$("${command[@]}")
file_bytes=$(stat -c %s "$scene")
file_mb=$(awk -v b="$file_bytes" 'BEGIN { printf "%.1f", b / 1048576 }')
peak_mb=$(awk -v k="$peak_kb" 'BEGIN { printf "%.1f", k / 1024 }')
ratio=$(awk -v a="$extract_ms" -v b="$floor_ms" 'BEGIN { printf "%.1f", (b > 0 ? a / b : 0) }')
memory_ratio=$(awk -v k="$peak_kb" -v b="$file_bytes" 'BEGIN { printf "%.2f", k * 1024 / b }')
machine="$(nproc) cores, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)"
machine="$machine, load average $load_before when the runs began"

report=$(cat <<REPORT
## Extraction (\`vantor-cli extract\`)

Load, filter and export of a scene file of $objects objects ($file_mb MiB) written by the
conversion run (\`bench/extract/make_region_scene\`), keeping the objects inside the rectangle
$rectangle; best of $runs runs with the file in the page cache.
Machine: $machine.

| Measure | Result | Target |
|---|---|---|
| \`vantor-cli extract\`, whole process | $extract_ms ms | under 1500 ms |
| \`wc -l\` on the same file (floor) | $floor_ms ms | |
| ratio to the floor | $ratio × | at most 6 × |
| peak memory (maximum resident set) | $peak_mb MiB, $memory_ratio × the file size | under 2 × the file size |

The load and the export use a second core when one is free: the file is read from the
system in two halves at once (most of that cost is the system handing the process fresh
memory for its copy of the file, which two cores share), its lines are scanned in two halves
at once, and the listing is built while the scene file is written. With both cores busy
with other work the whole process takes about a third longer.

Output of the measured command: $(echo "$summary" | tr '\n' ' ' | sed "s|$work/||g; s| *$||")

Command: \`$invocation\` (build type $build_type), which times
\`vantor-cli extract region$objects.xml --out selection.xml --rect $rectangle\` and \`wc -l region$objects.xml\`.
REPORT
)

echo "$report"

# Replace the Extraction section (up to the next section or the end) in docs/PERFORMANCE.md.
doc="$root/docs/PERFORMANCE.md"
tmp="$(mktemp)"
awk -v report="$report" '
  /^## Extraction/ { print report; print ""; skipping = 1; next }
  skipping && /^## / { skipping = 0 }
  !skipping { print }
' "$doc" > "$tmp"
# Keep the file ending in exactly one newline.
sed -e :a -e '/^\n*$/{$d;N;ba' -e '}' "$tmp" > "$doc"
rm -f "$tmp"
