#!/usr/bin/env bash
# Compares `qel records` with Python's csv module plus unicodedata.normalize('NFKC') and
# str.casefold() on generated delimited records (qualified fields with commas inside, accented
# Latin, full-width forms and CJK), normalisation on, in one run on the same data. Each side
# runs RUNS times (default 3); the table gives the median wall time, its CPU time (user +
# system), throughput and max RSS; the runs of the three take turns, so that a drift of the
# machine's speed reaches all of them alike.
# Usage: bench/compare/records.sh [build-dir] [megabytes]   (a Release build with the qel program)
# MIX=latin gives records of Latin script only (plain and accented), MIX=cjk records mostly of
# CJK and full-width forms, MIX=cyrillic Cyrillic and Greek words the preparation was not tuned
# on; the default mixes all four pools evenly.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build-run}
megabytes=${2:-100}
runs=${RUNS:-3}
qel="$build/tools/qel"
[ -x "$qel" ] || { echo "no $qel: build first (scripts/run builds build-run/)" >&2; exit 1; }
py=/usr/bin/python3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source bench/compare/common.sh
need_packages time

# The records: fixed seed, about MEGABYTES of UTF-8.
"$py" - "$work/records.csv" "$megabytes" "${MIX:-all}" <<'PY'
import random, sys
random.seed(15)
path, size, mix = sys.argv[1], int(sys.argv[2]) * 1_000_000, sys.argv[3]
latin = ["Müller", "Straße", "Café", "Ångström", "Éléonore", "São Paulo", "Zürich", "Łódź",
         "Crème Brûlée", "Señor", "Dvořák", "Øresund", "naïve", "Fjörð", "Ærø"]
plain = ["Main Street", "Invoice", "Total", "Account", "Order 4711", "Berlin", "London",
         "Customer", "Delivery", "Payment due", "Smith", "Jones", "Widget", "Contract"]
full = ["ＡＢＣ株式会社", "ＴＥＬ０３－１２３４", "ｶﾀｶﾅ", "Ｎｏ．１２", "（株）", "ＵＳＢ"]
cjk = ["東京都千代田区", "株式会社", "大阪", "北京市", "서울", "請求書", "合計金額", "山田太郎"]
other = ["Москва", "Улица Ленина", "Счёт", "Ёлка", "Αθήνα", "Λογαριασμός", "Οδός",
         "Σύνολο", "Київ", "Ψηφίο"]
pools = {"all": [latin, plain, full, cjk], "latin": [latin, plain], "cjk": [full, cjk, cjk],
         "cyrillic": [other, other, plain]}[mix]
out = open(path, "w", encoding="utf-8", newline="")
written = 0
while written < size:
    lines = []
    for _ in range(1000):
        fields = []
        for _ in range(random.randint(4, 9)):
            f = " ".join(random.choice(random.choice(pools)) for _ in range(random.randint(1, 3)))
            if random.random() < 0.3:
                f = '"' + f + ", " + random.choice(plain) + '"'
            fields.append(f)
        lines.append(",".join(fields))
    text = "\n".join(lines) + "\n"
    out.write(text)
    written += len(text.encode("utf-8"))
PY
bytes=$(stat -c %s "$work/records.csv")

cat >"$work/baseline.py" <<'PY'
import csv, sys, unicodedata
reader = csv.reader(open(sys.argv[1], encoding="utf-8", newline=""))
out = open(sys.argv[2], "w", encoding="utf-8", newline="")
norm = unicodedata.normalize
for row in reader:
    out.write("\t".join(norm("NFKC", f).casefold() for f in row) + "\n")
PY

row() { printf '| %-46s | %9s | %8s | %10s | %12s |\n' "$@"; }
mbs() { awk -v b="$bytes" -v t="$1" 'BEGIN { printf "%.1f", b / 1e6 / t }'; }
echo "Records (${MIX:-all}): $(wc -l <"$work/records.csv"), $((bytes / 1000000)) MB, cores: $(nproc), median of $runs runs"
echo "Load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
row "System" "Time (s)" "CPU (s)" "MB/s" "Max RSS (MB)"
row "---" "---" "---" "---" "---"
# The three runs in turn, round after round; each round also gives its own speed-ups.
for ((r = 0; r < runs; r++)); do
  once "$work/py.times" "$py" "$work/baseline.py" "$work/records.csv" "$work/py.tsv"
  once "$work/one.times" "$qel" records -n -q -j 1 "$work/records.csv" -o "$work/qel.tsv"
  once "$work/all.times" "$qel" records -n -q -j 0 "$work/records.csv" -o "$work/qel.tsv"
  paste -d' ' "$work/py.times" "$work/one.times" "$work/all.times" | tail -1 |
    awk '{ print $1 / $4, $1 / $7 }' >>"$work/ratios"
done
for side in py one all; do
  read -r "t_$side" < <(median "$work/$side.times" 1)
  read -r "m_$side" < <(median "$work/$side.times" 2)
  read -r "c_$side" < <(median "$work/$side.times" 3)
done
row "Python csv + NFKC + casefold" "$t_py" "$c_py" "$(mbs "$t_py")" "$((m_py / 1024))"
row "qel records -n -j 1" "$t_one" "$c_one" "$(mbs "$t_one")" "$((m_one / 1024))"
row "qel records -n -j 0 ($(nproc) threads)" "$t_all" "$c_all" "$(mbs "$t_all")" "$((m_all / 1024))"
echo
echo "Speed-up, one thread: $(awk -v a="$t_py" -v b="$t_one" 'BEGIN { printf "%.1fx", a / b }')," \
  "all threads: $(awk -v a="$t_py" -v b="$t_all" 'BEGIN { printf "%.1fx", a / b }')" \
  "(medians of the rounds' own ratios: $(median "$work/ratios" 1 | awk '{ printf "%.1fx", $1 }')," \
  "$(median "$work/ratios" 2 | awk '{ printf "%.1fx", $1 }'); lowest round $(sort -n -k2,2 "$work/ratios" | head -1 | awk '{ printf "%.1fx", $2 }'))"
echo "CPU time ratio, one thread: $(awk -v a="$c_py" -v b="$c_one" 'BEGIN { printf "%.1fx", a / b }')"
echo "Output lines: Python $(wc -l <"$work/py.tsv"), qel $(wc -l <"$work/qel.tsv")"
echo "Load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
