# What the benchmark scripts share; each sources it after setting root (the source tree).

# Installs /usr/bin/time (its -v gives the peak memory) when it is missing.
bench_need_time() {
  if [ ! -x /usr/bin/time ]; then
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends time >/dev/null
  fi
}

# Configures the build folder $1 with the given cmake options unless it is configured already.
bench_configure() {
  local build="$1"
  shift
  if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
    cmake -S "$root" -B "$build" -G Ninja "$@" >/dev/null
  fi
}

# Puts report, which begins with its "## heading" line, in place of that section of doc (up to
# the next "## " heading or the end), or adds it at the end; doc ends in exactly one newline.
bench_write_section() {
  local doc="$1" heading="$2" report="$3" tmp
  tmp="$(mktemp)"
  if grep -q "^## $heading" "$doc"; then
    awk -v report="$report" -v heading="## $heading" '
      index($0, heading) == 1 { print report; print ""; skipping = 1; next }
      skipping && /^## / { skipping = 0 }
      !skipping { print }
    ' "$doc" >"$tmp"
  else
    { cat "$doc"; echo; echo "$report"; } >"$tmp"
  fi
  sed -e :a -e '/^\n*$/{$d;N;ba' -e '}' "$tmp" >"$doc"
  rm -f "$tmp"
}
