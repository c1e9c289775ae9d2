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
