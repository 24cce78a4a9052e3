#!/usr/bin/env bash
# Attacks on `vantor-cli extract`, with real processes on the real file system:
#   (a) archive bombs from make_archive_bomb: one object of 3 GiB (about 3 MB of archive), a
#       sparse entry that says it holds 4 GiB (284 bytes), and 2,600 valid objects of 1 MiB
#       each (about 3 MB): peak memory, the most scratch space in use, time and outcome of each;
#       the last once more with TMPDIR on a 1.5 GiB tmpfs, where unpacking it would leave less
#       than the 1 GiB that must stay free (root only: it mounts the tmpfs);
#   (b) a scene file that shrinks, or is rewritten in place as OpenSim rewrites a region file,
#       while extract reads it: RUNS runs of each at a random moment, and the same for a
#       region archive that shrinks; each outcome is counted, crashes and hangs apart.
# Prints the figures and writes them, with this command, into the "Attacks on the extractor"
# section of docs/RELIABILITY.md. OLD_CLI=path/to/vantor-cli adds a column for another build
# (an older release) in the shrinking runs.
#
#   bench/attack/run.sh [BUILD_DIR]     (default: build/, configured if need be)
#
# It writes a few GB into its temporary folder (under $TMPDIR): run it nice'd, on a machine
# with some 4 GB free. RUNS sets the number of shrinking runs of each kind (default 200).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${1:-$root/build}"
invocation="bench/attack/run.sh${1:+ $1}"
runs=${RUNS:-200}
old_cli=${OLD_CLI:-}

source "$root/bench/common.sh"
bench_need_time
bench_configure "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target vantor-cli make_archive_bomb make_region_scene make_region_archive --parallel 2 >/dev/null
build_type=$(awk -F= '/^CMAKE_BUILD_TYPE:/ { print $2 }' "$build/CMakeCache.txt")
cli="$(readlink -f "$build/cli/vantor-cli")"

work="$(mktemp -d)"
mounted=""
cleanup() {
  if [ -n "$mounted" ]; then umount "$mounted" || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
load_before=$(cut -d' ' -f1 /proc/loadavg)

# The largest unnamed scratch file (the one extract unpacks an archive into) that a process of
# the command at path $1 holds, sampled every 20 ms while process $2 (its runner) lives; in bytes.
sample_scratch() {
  local exe="$1" runner="$2" most=0 size
  while kill -0 "$runner" 2>/dev/null; do
    for proc in /proc/[0-9]*; do
      [ "$(readlink "$proc/exe" 2>/dev/null)" = "$exe" ] || continue
      for fd in "$proc"/fd/*; do
        case "$(readlink "$fd" 2>/dev/null)" in
          *"(deleted)"*)
            size=$(stat -L -c %s "$fd" 2>/dev/null || echo 0)
            if [ "$size" -gt "$most" ]; then most=$size; fi ;;
        esac
      done
    done
    sleep 0.02
  done
  echo "$most"
}

mib() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1048576 }'; }
# The first line of a message, at most 160 characters.
first_line() { head -n 1 "$1" | sed "s|$work/||g" | cut -c1-160 | sed 's/|/\\|/g'; }

# (a) Archive bombs.
bomb="$build/bench/attack/make_archive_bomb"
"$bomb" object "$work/object.oar" 3072
"$bomb" sparse "$work/sparse.oar" 4096
"$bomb" many "$work/many.oar" 2600 1024
bomb_rows=""
crashes=0
hangs=0
run_bomb() {  # label, archive, TMPDIR for the run
  local label="$1" archive="$2" scratch_dir="$3"
  local log="$work/time.log" err="$work/err.log"
  TMPDIR="$scratch_dir" /usr/bin/time -v -o "$log" timeout 600 "$cli" extract "$archive" --out "$work/out/sel.xml" \
    --rect 0,0,1,1 >/dev/null 2>"$err" &
  local runner=$!
  sample_scratch "$cli" "$runner" >"$work/scratch.txt"
  set +e
  wait "$runner"
  local code=$?
  set -e
  local peak_kb seconds scratch
  peak_kb=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$log")
  seconds=$(awk -F': ' '/Elapsed \(wall clock\)/ {
      n = split($2, p, ":"); s = 0; for (i = 1; i <= n; ++i) s = s * 60 + p[i]; printf "%.1f", s }' "$log")
  scratch=$(cat "$work/scratch.txt")
  if [ "$code" -ge 128 ] && [ "$code" -ne 124 ]; then crashes=$((crashes + 1)); fi
  if [ "$code" -eq 124 ]; then hangs=$((hangs + 1)); fi
  bomb_rows+="| $label | $(stat -c %s "$archive") bytes | exit $code: $(first_line "$err") | $(mib $((peak_kb * 1024))) MiB | $(mib "$scratch") MiB | $seconds s |"$'\n'
}
mkdir -p "$work/out" "$work/tmp"
run_bomb "one object of 3 GiB" "$work/object.oar" "$work/tmp"
run_bomb "a sparse entry that says 4 GiB" "$work/sparse.oar" "$work/tmp"
run_bomb "2,600 objects of 1 MiB (2.5 GiB unpacked), disk with $(df -BG --output=avail "$work/tmp" | tail -1 | tr -d ' ') free" \
  "$work/many.oar" "$work/tmp"
if [ "$(id -u)" -eq 0 ] && mkdir -p "$work/tmpfs" && mount -t tmpfs -o size=1536m tmpfs "$work/tmpfs" 2>/dev/null; then
  mounted="$work/tmpfs"
  run_bomb "the same, TMPDIR on a 1.5 GiB tmpfs" "$work/many.oar" "$work/tmpfs"
  umount "$mounted"
  mounted=""
else
  bomb_rows+="| the same, TMPDIR on a 1.5 GiB tmpfs | not run: mounting a tmpfs needs root | | | | |"$'\n'
fi
ls "$work/out" >"$work/left.txt"
files_left=$(wc -l <"$work/left.txt")

# (b) Files that change while they are read. Each run starts from a fresh copy; after a random
# delay of up to the command's own run time, the file is shortened to a random length, or
# rewritten in place with another region's objects (truncated, then written anew).
"$build/bench/extract/make_region_scene" "$work" 20000 >/dev/null
scene="$work/region20000.xml"
mv "$scene" "$work/pristine.xml"
"$build/bench/extract/make_region_scene" "$work" 19000 >/dev/null
mv "$work/region19000.xml" "$work/other.xml"
"$build/bench/big/make_region_archive" "$work/pristine.oar" 8 >/dev/null
scene_bytes=$(stat -c %s "$work/pristine.xml")
archive_bytes=$(stat -c %s "$work/pristine.oar")

# One kind of run, RUNS times, with the command at $1 on input kind $2 (xml or oar) and change
# $3 (shrink or rewrite). Prints "crashes hangs whole changed emptied other damaged".
shrink_runs() {
  local command="$1" kind="$2" change="$3"
  local target="$work/target.$kind" pristine="$work/pristine.$kind"
  local crash=0 hang=0 whole=0 changed=0 emptied=0 other=0 damaged=0
  local full_ms
  cp "$pristine" "$target"
  local start end
  start=$(date +%s%N)
  "$command" extract "$target" --out "$work/out/sel.xml" --rect 64,64,192,192 >/dev/null 2>&1 || true
  end=$(date +%s%N)
  full_ms=$(( (end - start) / 1000000 + 1 ))
  for _ in $(seq "$runs"); do
    cp "$pristine" "$target"
    rm -f "$work/out/sel.xml" "$work/out/sel.txt"
    set +e
    timeout 60 "$command" extract "$target" --out "$work/out/sel.xml" --rect 64,64,192,192 >/dev/null 2>"$work/err.log" &
    local pid=$!
    sleep "$(awk -v r="$RANDOM" -v ms="$full_ms" 'BEGIN { printf "%.3f", (r % ms) / 1000 }')"
    if [ "$change" = shrink ]; then
      truncate -s $(( $(stat -c %s "$pristine") * (RANDOM % 100) / 100 )) "$target"
    else
      cat "$work/other.xml" >"$target"
    fi
    wait "$pid"
    local code=$?
    set -e
    if [ "$code" -eq 124 ]; then
      hang=$((hang + 1))
    elif [ "$code" -ge 128 ]; then
      crash=$((crash + 1))
    elif grep -q "changed while it was read" "$work/err.log"; then
      changed=$((changed + 1))
    elif [ "$code" -eq 0 ]; then
      # What was written must be whole objects of one state of the file: no NUL byte, every
      # object line opening and closing its element.
      if LC_ALL=C grep -qaP '\x00' "$work/out/sel.xml" \
        || awk 'NR > 2 && length($0) > 1 && $0 != "</scene>\r" && !/^<SceneObjectGroup>.*<\/SceneObjectGroup>\r$/ {
                  bad = 1 } END { exit !bad }' \
          "$work/out/sel.xml"; then
        damaged=$((damaged + 1))
      else
        whole=$((whole + 1))
      fi
    elif grep -q "nothing to save\|no such file\|is cut off\|cannot read" "$work/err.log"; then
      emptied=$((emptied + 1))
    else
      other=$((other + 1))
      cp "$work/err.log" "$work/other-$other.log"
    fi
  done
  echo "$crash $hang $whole $changed $emptied $other $damaged"
}
shrink_rows=""
total_shrink_crashes=0
total_shrink_hangs=0
for spec in "xml shrink" "xml rewrite" "oar shrink"; do
  set -- $spec
  read -r c h w ch e o d <<<"$(shrink_runs "$cli" "$1" "$2")"
  total_shrink_crashes=$((total_shrink_crashes + c))
  total_shrink_hangs=$((total_shrink_hangs + h))
  row="| $1, $2 | $runs | $c | $h | $w | $ch | $e | $o | $d |"
  if [ -n "$old_cli" ]; then
    read -r oc oh ow och oe oo od <<<"$(shrink_runs "$old_cli" "$1" "$2")"
    row+=" $oc crashes, $oh hangs, $ow whole, $och said changed, $oe cut short, $oo other, $od damaged |"
  fi
  shrink_rows+="$row"$'\n'
done
old_header=""
old_rule=""
if [ -n "$old_cli" ]; then
  old_header=" the same with OLD_CLI |"
  old_rule="---|"
fi
machine="$(nproc) cores, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)"
machine="$machine, load average $load_before when the runs began"

report=$(cat <<REPORT
## Attacks on the extractor

Real processes on the real file system (ext4 under \$TMPDIR; the tmpfs run mounts its own).
Machine: $machine. Build type $build_type.

### Archive bombs

Each archive holds \`archive.xml\` and the bomb; \`extract BOMB --out sel.xml --rect 0,0,1,1\`
(a rectangle that keeps nothing, so that no output is written) under \`/usr/bin/time -v\` and
\`timeout 600\`. "Scratch" is the largest size the unnamed scratch file reached, sampled every
20 ms. An object may unpack to 64 MiB at most; unpacking must leave the scratch folder's
file system 1 GiB free.

| Bomb | Archive | Outcome | Peak memory | Scratch | Time |
|---|---|---|---|---|---|
$bomb_rows
Crashes: $crashes. Hangs: $hangs. Files left in the output folder: $files_left.

### Files that change while they are read

\`extract FILE --out sel.xml --rect 64,64,192,192\` on a scene file of 20,000 objects
($(mib "$scene_bytes") MiB, \`make_region_scene\`) and on a region archive of
$(mib "$archive_bytes") MiB (\`make_region_archive\`). In each run, after a random delay of up to
one whole run's time, the file is shortened to a random length, or rewritten in place
(truncated and written anew with another region, as a server rewrites its file). Columns:
"whole" ends with exit 0 and an output of whole objects of one state of the file (the bytes
as first read); "said changed" ends with exit 2 and "it changed while it was read"; "cut short"
is a file already shortened when it was opened, read as it then stood (a cut-off last line,
nothing left to save, or an archive the reader calls truncated); "damaged" is an output holding
NUL bytes or a broken object line, a fault.

| Input, change | Runs | Crashes | Hangs | Whole | Said changed | Cut short | Other | Damaged |$old_header
|---|---|---|---|---|---|---|---|---|$old_rule
$shrink_rows
Crashes: $total_shrink_crashes. Hangs: $total_shrink_hangs.

Command: \`$invocation\`${old_cli:+ with OLD_CLI set to an older build}, RUNS=$runs.
REPORT
)

echo "$report"

bench_write_section "$root/docs/RELIABILITY.md" "Attacks on the extractor" "$report"
