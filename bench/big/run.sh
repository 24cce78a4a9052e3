#!/usr/bin/env bash
# Big inputs: times vantor-cli on three inputs of the sizes users may bring and measures the
# peak memory of each against the input's size:
#   (a) `convert` on a listing of 1,000,000 prims (make_prim_listing);
#   (b) `extract --rect` on a scene file of 400,000 objects, about 1 GB (make_region_scene);
#   (c) `extract --rect` on an OpenSim region archive of about 200 MB (make_region_archive).
# Each command runs once under /usr/bin/time -v with the input in the page cache. The inputs
# and outputs are GBs: they live in a temporary folder that is deleted at the end. Prints the
# figures and writes them, with this command, into the Big inputs section of docs/PERFORMANCE.md.
#
#   bench/big/run.sh [BUILD_DIR]     (default: build-big/, configured RelWithDebInfo if need be)
#
# Run it nice'd on a shared machine: nice bench/big/run.sh. BIG_PRIMS, BIG_OBJECTS and
# BIG_ARCHIVE_MB set smaller sizes for a trial run.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${1:-$root/build-big}"
invocation="bench/big/run.sh${1:+ $1}"
prims=${BIG_PRIMS:-1000000}
objects=${BIG_OBJECTS:-400000}
archive_mb=${BIG_ARCHIVE_MB:-200}
rectangle="64,64,192,192"

source "$root/bench/common.sh"
bench_need_time
bench_configure "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOR_BUILD_GUI=OFF -DVANTOR_BUILD_TESTS=OFF
cmake --build "$build" --target vantor-cli make_prim_listing make_region_scene make_region_archive \
  --parallel 2 >/dev/null
build_type=$(awk -F= '/^CMAKE_BUILD_TYPE:/ { print $2 }' "$build/CMakeCache.txt")
cli="$build/cli/vantor-cli"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Runs a command once under /usr/bin/time -v; sets $seconds (wall clock) and $peak_kb.
measure() {
  local log="$work/time.log"
  /usr/bin/time -v "$@" >"$work/out.log" 2>"$log"
  seconds=$(awk -F': ' '/Elapsed \(wall clock\)/ {
      n = split($2, p, ":"); s = 0; for (i = 1; i <= n; ++i) s = s * 60 + p[i]; printf "%.2f", s }' "$log")
  peak_kb=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$log")
  summary=$(tr '\n' ' ' <"$work/out.log" | sed "s|$work/||g; s| *$||")
}
mib() { awk -v b="$1" 'BEGIN { printf "%.0f", b / 1048576 }'; }
ratio() { awk -v k="$1" -v b="$2" 'BEGIN { printf "%.2f", k * 1024 / b }'; }

load_before=$(cut -d' ' -f1 /proc/loadavg)

# (a) The listing, converted into the same folder.
listing="$work/listing$prims.txt"
"$build/bench/convert/make_prim_listing" "$listing" "$prims"
listing_bytes=$(stat -c %s "$listing")
cat "$listing" >/dev/null
mkdir -p "$work/converted"
measure "$cli" convert "$listing" --out-dir "$work/converted"
convert_s=$seconds convert_kb=$peak_kb convert_out=$summary
scene_out_bytes=$(du -cb "$work/converted"/* | tail -1 | cut -f1)
rm -rf "$work/converted" "$listing"
echo "convert: $(mib "$listing_bytes") MiB listing, ${convert_s} s, peak $((convert_kb / 1024)) MiB" \
  "($(ratio "$convert_kb" "$listing_bytes") x the listing)"

# (b) The scene file the conversion run writes for $objects objects.
"$build/bench/extract/make_region_scene" "$work" "$objects" >/dev/null
scene="$work/region$objects.xml"
rm -f "$work/region$objects.txt"
scene_bytes=$(stat -c %s "$scene")
cat "$scene" >/dev/null
measure "$cli" extract "$scene" --out "$work/selection.xml" --rect "$rectangle"
scene_s=$seconds scene_kb=$peak_kb scene_out=$summary
rm -f "$scene" "$work/selection.xml" "$work/selection.txt"
echo "extract scene: $(mib "$scene_bytes") MiB, ${scene_s} s, peak $((scene_kb / 1024)) MiB" \
  "($(ratio "$scene_kb" "$scene_bytes") x the file)"

# (c) The region archive; its unpacked size tells how much object text it holds.
oar="$work/region.oar"
oar_objects=$("$build/bench/big/make_region_archive" "$oar" "$archive_mb")
oar_bytes=$(stat -c %s "$oar")
unpacked_bytes=$(gzip -dc "$oar" | wc -c)
measure "$cli" extract "$oar" --out "$work/selection.xml" --rect "$rectangle"
oar_s=$seconds oar_kb=$peak_kb oar_out=$summary
rm -f "$oar" "$work/selection.xml" "$work/selection.txt"
echo "extract archive: $(mib "$oar_bytes") MiB ($(mib "$unpacked_bytes") MiB unpacked), ${oar_s} s," \
  "peak $((oar_kb / 1024)) MiB ($(ratio "$oar_kb" "$oar_bytes") x the archive," \
  "$(ratio "$oar_kb" "$unpacked_bytes") x unpacked)"

machine="$(nproc) cores, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)"
machine="$machine, load average $load_before when the runs began"

report=$(cat <<REPORT
## Big inputs

One run each under \`/usr/bin/time -v\`, the input in the page cache; peak memory is the
maximum resident set, which counts a mapped input file once.
Machine: $machine.

| Input | Command | Time | Peak memory | Memory / input |
|---|---|---|---|---|
| listing of $prims prims, $(mib "$listing_bytes") MiB | \`convert\` | $convert_s s | $((convert_kb / 1024)) MiB | $(ratio "$convert_kb" "$listing_bytes") × |
| scene file of $objects objects, $(mib "$scene_bytes") MiB | \`extract --rect $rectangle\` | $scene_s s | $((scene_kb / 1024)) MiB | $(ratio "$scene_kb" "$scene_bytes") × |
| region archive of $oar_objects objects, $(mib "$oar_bytes") MiB ($(mib "$unpacked_bytes") MiB unpacked) | \`extract --rect $rectangle\` | $oar_s s | $((oar_kb / 1024)) MiB | $(ratio "$oar_kb" "$oar_bytes") × the archive, $(ratio "$oar_kb" "$unpacked_bytes") × unpacked |

The conversion wrote $(mib "$scene_out_bytes") MiB (scene file and listing copy).

All three stay within the input's size plus a small table. The scene file is mapped
read-only, so its pages count once. The archive is mapped while it is read; each object is
placed as it is unpacked and then goes to an unnamed scratch file (in \$TMPDIR, else
/var/tmp), which the table maps without reading it; the export copies the selected objects
out of that file one at a time (\`ObjectLines::read\`), so the unpacked text, about ten
times the archive, never sits in memory.

Output of the measured commands: $convert_out; $scene_out; $oar_out

Command: \`$invocation\` (build type $build_type), which runs
\`vantor-cli convert listing$prims.txt --out-dir converted\`,
\`vantor-cli extract region$objects.xml --out selection.xml --rect $rectangle\` and
\`vantor-cli extract region.oar --out selection.xml --rect $rectangle\` on inputs from
\`make_prim_listing\`, \`make_region_scene\` and \`make_region_archive\`.
REPORT
)

echo
echo "$report"
bench_write_section "$root/docs/PERFORMANCE.md" "Big inputs" "$report"
