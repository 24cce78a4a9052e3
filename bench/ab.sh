#!/usr/bin/env bash
# Times two builds of vantor-cli against each other on one benchmark, alternating them
# (A, B, A, B, ...) so that both see the same load, and prints the median of each and how
# much slower B is. This is how a speed-up is weighed: A is the build with it, B the build
# without it.
#
#   bench/ab.sh convert|extract|opensim CLI_A CLI_B [RUNS]
#
# convert: a listing of 50,000 prims (make_prim_listing); extract: a scene file of 50,000
# objects (make_region_scene) cut to 64,64,192,192; opensim: the same region in OpenSim's
# current layout (make_opensim_scene). The inputs are made once, by the generators in
# build-bench/ (bench/convert/run.sh builds them), into build-bench/ab/, or into AB_WORK when
# it is set (AB_WORK=/dev/shm/ab leaves the disk out: there fsync costs nothing).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bench="$1"
cli_a="$2"
cli_b="$3"
runs="${4:-5}"
objects=50000
generators="$root/build-bench/bench"
work="${AB_WORK:-$root/build-bench/ab}"
mkdir -p "$work"

case "$bench" in
  convert)
    input="$work/listing.txt"
    [ -f "$input" ] || "$generators/convert/make_prim_listing" "$input" "$objects"
    clean() { rm -f "$work/listing.xml" "$work/listing.xml_SLbase.txt"; }
    args=(convert "$input" --out-dir "$work")
    ;;
  extract | opensim)
    if [ "$bench" = extract ]; then
      input="$work/region$objects.xml"
      [ -f "$input" ] || "$generators/extract/make_region_scene" "$work" "$objects" >/dev/null
    else
      input="$work/opensim$objects.xml"
      [ -f "$input" ] || "$generators/extract/make_opensim_scene" "$work" "$objects" >/dev/null
    fi
    clean() { rm -f "$work/selection.xml" "$work/selection.txt"; }
    args=(extract "$input" --out "$work/selection.xml" --rect 64,64,192,192)
    ;;
  *)
    echo "usage: bench/ab.sh convert|extract|opensim CLI_A CLI_B [RUNS]" >&2
    exit 2
    ;;
esac

# Wall time of one run in milliseconds, with fractions; its processor time (user + system,
# in milliseconds) goes to $work/cpu. The processor time hardly moves with the load other
# work puts on the machine, but it leaves out what a second thread saves.
timed() {
  clean
  python3 - "$work/cpu" "$@" "${args[@]}" <<'PY'
import os, subprocess, sys, time
start = time.perf_counter()
child = subprocess.Popen(sys.argv[2:], stdout=subprocess.DEVNULL)
_, status, usage = os.wait4(child.pid, 0)
wall = time.perf_counter() - start
if status != 0:
    sys.exit("the command failed: " + " ".join(sys.argv[2:]))
with open(sys.argv[1], "w") as out:
    out.write("%.1f\n" % ((usage.ru_utime + usage.ru_stime) * 1000))
print("%.1f" % (wall * 1000))
PY
}
cpu_ms() { cat "$work/cpu"; }

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

cat "$input" >/dev/null
timed "$cli_a" >/dev/null  # warm both programs and the output folder
timed "$cli_b" >/dev/null
load="$(cut -d' ' -f1 /proc/loadavg)"
a=()
b=()
cpu_a=()
cpu_b=()
for _ in $(seq "$runs"); do
  a+=("$(timed "$cli_a")")
  cpu_a+=("$(cpu_ms)")
  b+=("$(timed "$cli_b")")
  cpu_b+=("$(cpu_ms)")
done
clean
load_after="$(cut -d' ' -f1 /proc/loadavg)"
median_a=$(median "${a[@]}")
median_b=$(median "${b[@]}")
change=$(awk -v a="$median_a" -v b="$median_b" 'BEGIN { printf "%+.1f", (b - a) / a * 100 }')
echo "$bench${AB_WORK:+ in $AB_WORK}: A ${median_a} ms, B ${median_b} ms, B/A ${change} % (median of $runs, alternating; load average $load to $load_after)"
cpu_median_a=$(median "${cpu_a[@]}")
cpu_median_b=$(median "${cpu_b[@]}")
cpu_change=$(awk -v a="$cpu_median_a" -v b="$cpu_median_b" 'BEGIN { printf "%+.1f", (b - a) / a * 100 }')
echo "  processor time: A ${cpu_median_a} ms, B ${cpu_median_b} ms, B/A ${cpu_change} %"
echo "  A runs: ${a[*]}; processor ms: ${cpu_a[*]}"
echo "  B runs: ${b[*]}; processor ms: ${cpu_b[*]}"
