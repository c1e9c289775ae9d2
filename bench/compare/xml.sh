#!/usr/bin/env bash
# Compares `qel xml check` with `xmllint --noout` (libxml2's command-line tool) on one generated
# XML file of about 100 MB: records with attributes, nested elements, character and entity
# references, accented Latin and CJK text. Both read the same file in the same run, each three
# times in turn; the table gives the medians of the wall time and of the CPU time (user + system)
# of whole processes, the throughput by wall time and the peak memory (max RSS). On a loaded
# machine the CPU time is the steadier figure. `xmllint --stream --noout` (its streaming reader, no tree) is listed too.
# Usage: bench/compare/xml.sh [build-dir] [megabytes]   (a Release build with the qel program)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build-run}
megabytes=${2:-100}
qel="$build/tools/qel"
[ -x "$qel" ] || { echo "no $qel: build first (scripts/run builds build-run/)" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/qel-xml-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
source bench/compare/common.sh
need_packages libxml2-utils time
data="$work/data.xml"

/usr/bin/python3 - "$data" "$megabytes" <<'PY'
import random, sys
path, megabytes = sys.argv[1], int(sys.argv[2])
rnd = random.Random(15)
words = ("the of and to in is it you that he was for on are with as his they be at one have "
         "über Straße für schön café año niño naïve façade déjà 中文 日本語 한국어 数据 文本").split()
with open(path, "w", encoding="utf-8") as f:
    f.write('<?xml version="1.0" encoding="UTF-8"?>\n<!DOCTYPE catalog [\n'
            '  <!ENTITY org "QelBase data team">\n]>\n<catalog version="1">\n')
    size, i = 0, 0
    while size < megabytes * 1000 * 1000:
        body = " ".join(rnd.choice(words) for _ in range(rnd.randint(20, 80)))
        tags = "".join(f"<tag weight=\"{rnd.random():.3f}\">{rnd.choice(words)}</tag>"
                       for _ in range(rnd.randint(1, 4)))
        # A document's own entities are bounded (100000 references by default): one record
        # in ten names the author through one.
        author = "    <author>&org;</author>\n" if i % 10 == 0 else ""
        record = (f'  <record id="r{i}" lang="{rnd.choice(["en", "de", "zh", "es"])}" '
                  f'score="{rnd.random():.6f}">\n'
                  f"    <title>{rnd.choice(words)} &amp; {rnd.choice(words)} &#233; &lt;{i}&gt;</title>\n"
                  f"{author}"
                  f"    <body>{body}</body>\n"
                  f"    <tags>{tags}</tags>\n"
                  f"    <!-- record {i} -->\n"
                  f"    <raw><![CDATA[a < b && c > d]]></raw>\n"
                  f"  </record>\n")
        f.write(record)
        size += len(record.encode("utf-8"))
        i += 1
    f.write("</catalog>\n")
PY
bytes=$(stat -c %s "$data")
# Both must accept the file, or the comparison means nothing.
"$qel" xml check -q "$data" || { echo "qel xml check rejects the generated file" >&2; exit 1; }
xmllint --noout "$data" || { echo "xmllint rejects the generated file" >&2; exit 1; }
cat "$data" >/dev/null # in the page cache for every run

# Runs a command under /usr/bin/time; prints "seconds cpu_seconds maxrss_kib".
run_once() {
  /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" >/dev/null 2>"$work/err" || {
    cat "$work/err" >&2
    return 1
  }
  awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$work/time"
}
median() { printf '%s\n' "$@" | sort -g | sed -n 2p; }

names=("qel xml check" "xmllint --noout" "xmllint --stream --noout")
commands=("$qel xml check -q $data" "xmllint --noout $data" "xmllint --stream --noout $data")
declare -a times cpus rss
for run in 1 2 3; do
  for i in "${!commands[@]}"; do
    # shellcheck disable=SC2086
    read -r t c m < <(run_once ${commands[$i]})
    times[$i]="${times[$i]:-} $t"
    cpus[$i]="${cpus[$i]:-} $c"
    rss[$i]="${rss[$i]:-} $m"
  done
done

row() { printf '| %-26s | %12s | %12s | %9s | %12s |\n' "$@"; }
echo "File: $((bytes / 1000000)) MB of XML, cores: $(nproc), load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
row "Reader" "Time (s)" "CPU time (s)" "MB/s" "Max RSS (MB)"
row "---" "---" "---" "---" "---"
for i in "${!commands[@]}"; do
  # shellcheck disable=SC2086
  t=$(median ${times[$i]})
  # shellcheck disable=SC2086
  m=$(median ${rss[$i]})
  # shellcheck disable=SC2086
  c=$(median ${cpus[$i]})
  row "${names[$i]}" "$t" "$c" "$(awk -v b="$bytes" -v t="$t" 'BEGIN { printf "%.1f", b / 1e6 / t }')" \
    "$((m / 1024))"
done
echo
echo "Median of 3 runs each; the runs (s):"
for i in "${!commands[@]}"; do echo "  ${names[$i]}:${times[$i]}"; done
