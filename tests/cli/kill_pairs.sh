#!/usr/bin/env bash
# Kills `vantor-cli convert` (or `extract`) at random moments while it replaces a pair of files
# it wrote before, and checks after each kill that the pair on disk still belongs together:
# the earlier scene file with the earlier listing, or the new one with the new one. A new file
# beside an earlier one is a mismatched pair. No temporary file may stay either.
#
#   tests/cli/kill_pairs.sh VANTOR_CLI HOUSE_LISTING convert|extract KILLS [FROM TO [REPEATS [TOLERATED]]]
#
# Each try starts the command, sleeps a random time between FROM and TO percent of the
# command's whole run and sends SIGKILL (default 0 to 110). The whole run is the median of the
# last five complete runs: three before the first try, then one in place of every tenth try,
# so that the kills follow the run's length as the machine's load changes.
# Only tries where the process was still running count as kills; the script goes on until it
# has KILLS of them. HOUSE_LISTING is examples/house.txt, whose records, repeated REPEATS
# times (default 625: 10,000 prims), make the listing. Prints the counts and exits 1 when a
# file is damaged, or when mismatched pairs and temporary files left together number more
# than TOLERATED (default 0). No system call puts two files in place at once, so a kill
# between the two renames (tens of microseconds) still mismatches a pair, and one between a
# file's naming and its rename leaves that name: rare, but not impossible.
set -euo pipefail
cli="$1"
house="$2"
mode="$3"
kills="$4"
from="${5:-0}"
to="${6:-110}"
repeats="${7:-625}"
tolerated="${8:-0}"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
out="$work/out"
mkdir "$out"

source "$(dirname "${BASH_SOURCE[0]}")/listing_text.sh"

objects() { grep -c '<SceneObjectGroup>' "$1" 2>/dev/null || true; }
lines() { wc -l <"$1"; }

# The command that writes the earlier pair, the command that is killed, the two files, and
# how each file of either pair is told apart (new_*/old_* set here).
if [ "$mode" = convert ]; then
  make_listing "$repeats" "$work/old.txt"
  make_listing $((repeats + 1)) "$work/new.txt"
  earlier=("$cli" convert "$work/old.txt" --out-dir "$out" --name pair --force)
  command=("$cli" convert "$work/new.txt" --out-dir "$out" --name pair --force)
  scene="$out/pair.xml"
  listing="$out/pair.xml_SLbase.txt"
  (cat "$work/old.txt"; printf '\r\n') >"$work/old.copy"
  (cat "$work/new.txt"; printf '\r\n') >"$work/new.copy"
  old_scene=$((repeats * 16))
  new_scene=$(((repeats + 1) * 16))
  state_of_listing() {
    if [ ! -e "$listing" ]; then echo missing
    elif cmp -s "$listing" "$work/old.copy"; then echo old
    elif cmp -s "$listing" "$work/new.copy"; then echo new
    else echo damaged; fi
  }
elif [ "$mode" = extract ]; then
  # The region: the listing converted; the earlier selection is the west half, the new one all.
  make_listing "$repeats" "$work/region.txt"
  "$cli" convert "$work/region.txt" --out-dir "$work" --name region >/dev/null
  earlier=("$cli" extract "$work/region.xml" --out "$out/sel.xml" --rect 0,0,125,256)
  command=("$cli" extract "$work/region.xml" --out "$out/sel.xml")
  scene="$out/sel.xml"
  listing="$out/sel.txt"
  "${earlier[@]}" >/dev/null
  old_scene=$(objects "$scene")
  new_scene=$((repeats * 16))
  old_lines=$(lines "$listing")
  new_lines=$((1 + 2 * new_scene))
  state_of_listing() {
    if [ ! -e "$listing" ]; then echo missing
    elif [ "$(lines "$listing")" -eq "$old_lines" ]; then echo old
    elif [ "$(lines "$listing")" -eq "$new_lines" ]; then echo new
    else echo damaged; fi
  }
else
  echo "usage: kill_pairs.sh VANTOR_CLI HOUSE_LISTING convert|extract KILLS [FROM TO [REPEATS [TOLERATED]]]" >&2
  exit 2
fi

state_of_scene() {
  if [ ! -e "$scene" ]; then echo missing; return; fi
  local count
  count=$(objects "$scene")
  if [ "$count" -eq "$old_scene" ] && tail -c 10 "$scene" | grep -q '</scene>'; then echo old
  elif [ "$count" -eq "$new_scene" ] && tail -c 10 "$scene" | grep -q '</scene>'; then echo new
  else echo damaged; fi
}

"${earlier[@]}" >/dev/null
cp "$scene" "$work/earlier.scene"
cp "$listing" "$work/earlier.listing"

# One complete run, timed in milliseconds; the earlier pair is put back after it. The whole
# run is the median of the last five.
durations=()
whole=0
calibrate() {
  local start took
  start=$(date +%s%N)
  "${command[@]}" >/dev/null
  took=$((($(date +%s%N) - start) / 1000000))
  cp "$work/earlier.scene" "$scene"
  cp "$work/earlier.listing" "$listing"
  durations+=("$took")
  if [ "${#durations[@]}" -gt 5 ]; then durations=("${durations[@]: -5}"); fi
  whole=$(printf '%s\n' "${durations[@]}" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
}
for ((i = 0; i < 3; ++i)); do calibrate; done

killed=0
finished=0
old_pairs=0
new_pairs=0
mismatched=0
damaged=0
left=0
tries=0
while [ "$killed" -lt "$kills" ]; do
  tries=$((tries + 1))
  if [ $((tries % 10)) -eq 0 ]; then
    calibrate
    continue
  fi
  delay=$((whole * from / 100 + RANDOM * RANDOM % (whole * (to - from) / 100 + 1)))
  "${command[@]}" >/dev/null 2>&1 &
  pid=$!
  sleep "$(printf '%d.%03d' $((delay / 1000)) $((delay % 1000)))"
  if kill -9 "$pid" 2>/dev/null; then
    wait "$pid" 2>/dev/null || true
    killed=$((killed + 1))
  else
    wait "$pid" 2>/dev/null || true
    finished=$((finished + 1))
  fi
  pair="$(state_of_scene)/$(state_of_listing)"
  case "$pair" in
    old/old) old_pairs=$((old_pairs + 1)) ;;
    new/new) new_pairs=$((new_pairs + 1)) ;;
    *damaged*)
      damaged=$((damaged + 1))
      echo "kill after $delay ms: $pair" >&2 ;;
    *)
      mismatched=$((mismatched + 1))
      echo "kill after $delay ms: scene/listing $pair" >&2 ;;
  esac
  others=$(find "$out" -mindepth 1 ! -path "$scene" ! -path "$listing" | wc -l)
  if [ "$others" -ne 0 ]; then
    left=$((left + others))
    echo "kill after $delay ms: left $(find "$out" -mindepth 1 ! -path "$scene" ! -path "$listing" -printf '%f ')" >&2
    find "$out" -mindepth 1 ! -path "$scene" ! -path "$listing" -delete
  fi
  if [ "$pair" != old/old ]; then
    cp "$work/earlier.scene" "$scene"
    cp "$work/earlier.listing" "$listing"
  fi
done

echo "$mode kills: whole run $whole ms at the end (median of the last five), kills between $from % and $to % of it; $killed killed" \
  "($finished more runs ended before their kill): $old_pairs earlier pairs, $new_pairs new pairs," \
  "$mismatched mismatched pairs, $damaged damaged files, $left temporary files left"
[ "$damaged" -eq 0 ] && [ $((mismatched + left)) -le "$tolerated" ]
