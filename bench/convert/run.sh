#!/usr/bin/env bash
# Times vantor-cli convert on a listing of 50,000 prims and, in the same run, dd writing the
# same number of bytes (the scene file plus the listing copy), then prints the ratio and the
# converter's peak memory and writes them, with this command, into the "Conversion" section
# of docs/PERFORMANCE.md. It also times the same prims pasted in two parts (the header line
# repeated in the middle), which must stay within twice the plain listing's time.
#
#   bench/convert/run.sh [COUNT]
#
# It builds only vantor-cli and make_prim_listing, in Release mode, into build-bench/
# (cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release; cmake --build build-bench
# --target vantor-cli make_prim_listing). Each timing is the best of five runs, each writing
# new files into a temporary folder.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$root/build-bench"
count="${1:-50000}"
runs=5

source "$root/bench/common.sh"
bench_need_time

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTOR_BUILD_GUI=OFF \
  -DVANTOR_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target vantor-cli make_prim_listing --parallel 2 >/dev/null

work="$(mktemp -d)"
load="$(cut -d' ' -f1 /proc/loadavg)"
trap 'rm -rf "$work"' EXIT
listing="$work/bench.txt"
"$build/bench/convert/make_prim_listing" "$listing" "$count"
repeated="$work/pasted.txt"
"$build/bench/convert/make_prim_listing" "$repeated" "$count" 2
cli="$build/cli/vantor-cli"
convert_args=(convert "$listing" --out-dir "$work")
repeated_args=(convert "$repeated" --out-dir "$work")

# Wall time in milliseconds of one command, with its peak memory (KiB) in $work/rss.
timed() {
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f "%M" -o "$work/rss" "$@" >/dev/null
  end=$(date +%s%N)
  echo $(((end - start) / 1000))
}

"$cli" "${convert_args[@]}" >/dev/null  # warm the page cache and learn the output size
bytes=$(($(stat -c %s "$work/bench.xml") + $(stat -c %s "$work/bench.xml_SLbase.txt")))

best_convert=""
best_repeated=""
best_dd=""
peak=0
for _ in $(seq "$runs"); do
  # Both commands write new files, so neither pays for replacing an earlier one.
  rm -f "$work/bench.xml" "$work/bench.xml_SLbase.txt" "$work/pasted.xml" "$work/pasted.xml_SLbase.txt"
  us=$(timed "$cli" "${convert_args[@]}")
  rss=$(cat "$work/rss")
  if [ -z "$best_convert" ] || [ "$us" -lt "$best_convert" ]; then best_convert=$us; fi
  if [ "$rss" -gt "$peak" ]; then peak=$rss; fi
  us=$(timed "$cli" "${repeated_args[@]}")
  rss=$(cat "$work/rss")
  if [ -z "$best_repeated" ] || [ "$us" -lt "$best_repeated" ]; then best_repeated=$us; fi
  if [ "$rss" -gt "$peak" ]; then peak=$rss; fi
  # The converter flushes both files to the device before it puts them in place; so does dd.
  us=$(timed dd if=/dev/zero of="$work/dd.out" bs=64K count="$bytes" iflag=count_bytes conv=fsync status=none)
  if [ -z "$best_dd" ] || [ "$us" -lt "$best_dd" ]; then best_dd=$us; fi
  rm -f "$work/dd.out"
done

listing_bytes=$(stat -c %s "$listing")
ratio=$(awk -v a="$best_convert" -v b="$best_dd" 'BEGIN { printf "%.2f", a / b }')
convert_s=$(awk -v a="$best_convert" 'BEGIN { printf "%.3f", a / 1e6 }')
repeated_s=$(awk -v a="$best_repeated" 'BEGIN { printf "%.3f", a / 1e6 }')
repeated_ratio=$(awk -v a="$best_repeated" -v b="$best_convert" 'BEGIN { printf "%.2f", a / b }')
dd_s=$(awk -v a="$best_dd" 'BEGIN { printf "%.3f", a / 1e6 }')
peak_mb=$(awk -v k="$peak" 'BEGIN { printf "%.1f", k / 1024 }')

summary=$(cat <<TEXT
Command: \`bench/convert/run.sh $count\` ($(date -u +%Y-%m-%d), $(nproc) cores, Release build in build-bench/,
load average $load when the runs began: other work on the machine slows both the converter and dd).

| Measure | Value | Target |
|---|---|---|
| Listing | $count prims, $listing_bytes bytes | |
| Output (scene file + listing copy) | $bytes bytes | |
| \`vantor-cli convert\`, best of $runs | $convert_s s | under 1.5 s |
| \`dd\` writing the same bytes and flushing them to the device (\`conv=fsync\`), best of $runs | $dd_s s | |
| Ratio convert / dd | $ratio | at most 2 |
| \`vantor-cli convert\`, the same prims pasted twice (header repeated), best of $runs | $repeated_s s | |
| Ratio pasted twice / plain | $repeated_ratio | at most 2 |
| Peak memory of \`vantor-cli convert\` (both listings) | $peak_mb MB | under 64 MB |

The conversion runs on one thread. It reads the listing (line ends checked while its lines
are cut and indexed), writes the listing copy, then cuts, parses and computes each record,
draws its identifier and writes its document into a buffer that goes to the scene file in
1 MiB pieces. Memory is the listing itself plus about 4 MB of line index. Each record is
taken off the front of the listing, so identical records each become a prim. A listing whose
header line comes again (pasted in parts) is read as plain text: the header is removed
everywhere in one pass, which costs one copy of the listing, and the records are cut from the
front. Both files are flushed to the device (\`fsync\`, then their folder) before either is put
in place, so the floor is not dd writing the bytes but dd writing them and flushing them as
well (\`conv=fsync\`): without the flush dd would measure the page cache, and the converter the
device. Every prim costs about 3 µs of processor time: parsing some 35 fields, 32 random
draws and its values, some 40 numbers in their decimal and integer forms, 2.6 kB of document
text and the kernel's copy of it (\`bench/convert/prim_xml_bench\` measures the parse, the
values and the document alone). Reading, decoding and checking the listing before the run
takes about 25 ms.
TEXT
)
echo "$summary"

doc="$root/docs/PERFORMANCE.md"
if [ -f "$doc" ]; then
  heading='## Conversion (`vantor-cli convert`)'
  bench_write_section "$doc" "Conversion" "$(printf '%s\n\n%s' "$heading" "$summary")"
fi
