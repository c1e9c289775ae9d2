#!/usr/bin/env bash
# Compares `qel text convert --to utf-8` with iconv on generated UTF-16LE text (with a
# byte-order mark; Latin, accented Latin, Cyrillic and CJK lines), in one run on the same file.
# Each side runs RUNS times (default 3); the table gives the median wall time, its CPU time and
# the throughput, and the outputs are compared byte for byte.
# Usage: bench/compare/textconvert.sh [build-dir] [megabytes]   (a Release build with qel)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build-run}
megabytes=${2:-100}
runs=${RUNS:-3}
qel="$build/tools/qel"
[ -x "$qel" ] || { echo "no $qel: build first (scripts/run builds build-run/)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source bench/compare/common.sh
need_packages time libc-bin

/usr/bin/python3 - "$work/in.txt" "$megabytes" <<'PY'
import random, sys
random.seed(15)
path, size = sys.argv[1], int(sys.argv[2]) * 1_000_000
words = ["the", "invoice", "total", "Straße", "Müller", "café", "naïve", "Zürich", "Москва",
         "данные", "東京都", "株式会社", "請求書", "서울", "ÅNGSTRÖM", "order", "4711", "delivery"]
out = open(path, "wb")
out.write(b"\xff\xfe")
written = 2
while written < size:
    lines = [" ".join(random.choice(words) for _ in range(random.randint(3, 16)))
             for _ in range(2000)]
    data = ("\n".join(lines) + "\n").encode("utf-16-le")
    out.write(data)
    written += len(data)
PY
bytes=$(stat -c %s "$work/in.txt")


row() { printf '| %-44s | %9s | %8s | %10s | %12s |\n' "$@"; }
mbs() { awk -v b="$bytes" -v t="$1" 'BEGIN { printf "%.1f", (t > 0 ? b / 1e6 / t : 0) }'; }
echo "Input: $((bytes / 1000000)) MB of UTF-16LE, cores: $(nproc), median of $runs runs"
echo "Load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
row "System" "Time (s)" "CPU (s)" "MB/s" "Max RSS (MB)"
row "---" "---" "---" "---" "---"
read -r ti mi ci < <(measure "$work/iconv.txt" iconv -f UTF-16 -t UTF-8 "$work/in.txt")
row "iconv -f UTF-16 -t UTF-8" "$ti" "$ci" "$(mbs "$ti")" "$((mi / 1024))"
read -r tq mq cq < <(measure "$work/qel.txt" "$qel" text convert "$work/in.txt" --to utf-8)
row "qel text convert --to utf-8" "$tq" "$cq" "$(mbs "$tq")" "$((mq / 1024))"
echo
echo "qel throughput / iconv throughput: $(awk -v a="$ti" -v b="$tq" 'BEGIN { printf "%.2f", a / b }')"
cmp -s "$work/iconv.txt" "$work/qel.txt" && echo "Outputs: identical" || echo "Outputs: DIFFER"
echo "Load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
