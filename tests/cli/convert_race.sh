#!/usr/bin/env bash
# Two `vantor-cli convert` runs with the same output name and without --force, started at the
# same moment, again and again: one of them must write its pair and exit 0, the other must
# exit 2 and leave that pair alone. Both exiting 0 is a silent replacement: one run's files
# took the place of the other's. The pair on disk must always belong together (the listing
# copy is the winner's listing, the scene file holds the winner's prims) and no temporary
# file may stay.
#
#   tests/cli/convert_race.sh VANTOR_CLI HOUSE_LISTING [TRIES]     (TRIES defaults to 20)
#
# HOUSE_LISTING is examples/house.txt: its records, repeated, make the two listings (4,000
# and 4,016 prims), so that each run takes long enough for the other to start meanwhile.
# Prints the counts and exits 1 when any try went wrong.
set -euo pipefail
cli="$1"
house="$2"
tries="${3:-20}"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

source "$(dirname "${BASH_SOURCE[0]}")/listing_text.sh"
make_listing 250 "$work/a.txt"
make_listing 251 "$work/b.txt"
prims_a=4000
prims_b=4016

silent=0
refused=0
overlapped=0
wrong=0
for ((try = 1; try <= tries; ++try)); do
  out="$work/out$try"
  mkdir "$out"
  "$cli" convert "$work/a.txt" --out-dir "$out" --name pair >"$out.a.log" 2>&1 &
  pid_a=$!
  "$cli" convert "$work/b.txt" --out-dir "$out" --name pair >"$out.b.log" 2>&1 &
  pid_b=$!
  code_a=0
  code_b=0
  wait "$pid_a" || code_a=$?
  wait "$pid_b" || code_b=$?

  if [ "$code_a" -eq 0 ] && [ "$code_b" -eq 0 ]; then
    silent=$((silent + 1))
    echo "try $try: both runs exit 0: one replaced the other's files" >&2
  elif [ "$code_a" -eq 0 ] && [ "$code_b" -eq 2 ]; then
    winner=a
    refused=$((refused + 1))
  elif [ "$code_a" -eq 2 ] && [ "$code_b" -eq 0 ]; then
    winner=b
    refused=$((refused + 1))
  else
    wrong=$((wrong + 1))
    echo "try $try: exit codes $code_a and $code_b" >&2
    cat "$out.a.log" "$out.b.log" >&2
    continue
  fi
  [ "$code_a" -eq 0 ] && [ "$code_b" -eq 0 ] && winner=b  # whose pair should be there, if any
  # Whether the refused run found the name taken only when it put its files in place (the
  # runs overlapped), or already before it began.
  if grep -qs "was created by another program during the run" "$out.a.log" "$out.b.log"; then
    overlapped=$((overlapped + 1))
  fi
  expected_prims=$([ "$winner" = a ] && echo $prims_a || echo $prims_b)
  scene_prims=$(grep -c '<SceneObjectGroup>' "$out/pair.xml" || true)
  if [ "$scene_prims" -ne "$expected_prims" ] ||
     ! cmp -s "$out/pair.xml_SLbase.txt" <(cat "$work/$winner.txt"; printf '\r\n'); then
    wrong=$((wrong + 1))
    echo "try $try: the scene file ($scene_prims prims) and the listing copy do not belong together" >&2
  fi
  entries=$(find "$out" -mindepth 1 | wc -l)
  if [ "$entries" -ne 2 ]; then
    wrong=$((wrong + 1))
    echo "try $try: $entries entries in the output folder:" >&2
    ls -la "$out" >&2
  fi
  rm -rf "$out"
done

echo "convert races: $tries tries, $refused with one run refused (exit 2; $overlapped of them when putting" \
  "its files in place), $silent silent replacements, $wrong other faults"
[ "$silent" -eq 0 ] && [ "$wrong" -eq 0 ]
