# What the command-line process tests share; sourced after house is set (a listing file).

# Writes to $2 a listing of house's header and its records repeated $1 times, CR LF line ends.
make_listing() {
  local header records
  header="$(head -n 1 "$house")"
  records="$(tail -n +2 "$house")"
  {
    printf '%s\n' "$header"
    for ((i = 0; i < $1; ++i)); do printf '%s\n' "$records"; done
  } | sed 's/\r$//; s/$/\r/' >"$2"
}
