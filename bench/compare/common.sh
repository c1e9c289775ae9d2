# What the comparison scripts share; sourced after `work` (a temporary folder) is set.

# need_packages PACKAGE...: installs the Debian packages that are missing.
need_packages() {
  local missing=() p sudo=""
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# measure OUT CMD...: runs CMD ${RUNS:-3} times under /usr/bin/time with its standard output in
# OUT; prints the median run's "seconds maxrss_kib cpu_seconds" (user + system).
measure() {
  local out=$1 runs=${RUNS:-3} i
  shift
  for ((i = 0; i < runs; i++)); do
    /usr/bin/time -f '%e %M %U %S' -o "$work/time" "$@" >"$out" 2>"$work/err" || {
      cat "$work/err" >&2
      return 1
    }
    cat "$work/time"
  done | sort -n | awk -v n="$runs" 'NR == int((n + 1) / 2) { printf "%s %s %.2f\n", $1, $2, $3 + $4 }'
}

# once FILE CMD...: runs CMD once under /usr/bin/time (its standard output discarded) and
# appends "seconds maxrss_kib cpu_seconds" to FILE. Comparisons that call it for each side in
# turn, round after round, see the same drift of the machine's speed on both sides.
once() {
  local file=$1
  shift
  /usr/bin/time -f '%e %M %U %S' -o "$work/time" "$@" >/dev/null 2>"$work/err" || {
    cat "$work/err" >&2
    return 1
  }
  awk '{ printf "%s %s %.2f\n", $1, $2, $3 + $4 }' "$work/time" >>"$file"
}

# median FILE [COLUMN]: the median of a column (default 1) of FILE's lines.
median() {
  sort -n -k"${2:-1},${2:-1}" "$1" | awk -v c="${2:-1}" '{ v[NR] = $c } END { print v[int((NR + 1) / 2)] }'
}
