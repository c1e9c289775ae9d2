#!/usr/bin/env bash
# End-to-end tests of the qel program on a tiny corpus made in a temporary folder: every
# command's output and exit code, one error per kind of bad input, the report and plot read by
# the library's XML reader, and sharded training and classification through GNU parallel.
# Usage: qel_test.sh path/to/qel path/to/qel_xmlcheck
set -uo pipefail
qel=$(realpath "${1:?usage: qel_test.sh qel qel_xmlcheck}")
xmlcheck=$(realpath "${2:?usage: qel_test.sh qel qel_xmlcheck}")
# shellcheck source=common.sh
source "$(dirname "$0")/common.sh"

# --- The corpus: three languages, texts drawn from small word pools with a fixed seed. ---
mkdir -p train test
: >all.tsv
: >ids.tsv
for lang in de en es; do
  mkdir -p "train/$lang" "test/$lang/sub"
  for i in $(seq 1 24); do
    t=$(text "$lang" 12)
    printf '%s\n' "$t" >"train/$lang/$i.txt"
    printf '%s\t%s\n' "$lang" "$t" >>all.tsv
  done
  for i in $(seq 1 6); do text "$lang" 10 >"test/$lang/$i.txt"; done
  # One test text in a nested folder, and one in UTF-16 with a byte-order mark.
  text "$lang" 10 >"test/$lang/sub/nested.txt"
  text "$lang" 10 | iconv -f UTF-8 -t UTF-16 >"test/$lang/utf16.txt"
done
for i in $(seq 1 40); do
  for lang in de en es; do printf '%s-%s\t%s\n' "$lang" "$i" "$(text "$lang" 8)" >>ids.tsv; done
done

# --- Interface ---
expect 0 "$qel" --help
grep -q 'Exit codes' out.txt || fail "qel --help lists no exit codes"
for cmd in train classify evaluate merge; do
  expect 0 "$qel" "$cmd" --help
  grep -q 'Exit codes' out.txt || fail "qel $cmd --help lists no exit codes"
  grep -q -- '--quiet\|--output' out.txt || fail "qel $cmd --help lists no options"
done
expect 2 "$qel"
expect 2 "$qel" train train
expect 2 "$qel" classify -m x.model --top 0 -
expect 2 "$qel" frobnicate

# --- train, classify, evaluate, merge on the folder corpus ---
expect 0 "$qel" train -q train -o folder.model
[ -s folder.model ] || fail "train wrote no model"
[ ! -s out.txt ] || fail "train printed results on stdout: $(head -c 200 out.txt)"

expect 0 "$qel" classify -q -m folder.model test
[ "$(wc -l <out.txt)" -eq 24 ] || fail "classify: $(wc -l <out.txt) lines for 24 texts"
awk -F'\t' 'NF != 3 { exit 1 }' out.txt || fail "classify TSV lines are not id, label, score"
# Every test text is of the language its folder names.
awk -F'\t' '{ split($1, p, "/"); if (p[2] != $2) bad++ } END { exit bad > 0 }' out.txt ||
  fail "classify assigned wrong languages: $(awk -F'\t' '{ split($1, p, "/"); if (p[2] != $2) print }' out.txt | head -3)"
awk -F'\t' '$3 < 0 || $3 > 1 { exit 1 }' out.txt || fail "scores outside [0, 1]"
grep -q 'test/de/sub/nested.txt' out.txt || fail "classify did not walk into subfolders"
cp out.txt single-folder.tsv

expect 0 "$qel" classify -q -m folder.model --top 2 test/en
awk -F'\t' 'NF != 5 { exit 1 }' out.txt || fail "--top 2 does not give two label/score pairs"
awk -F'\t' '$3 < $5 { exit 1 }' out.txt || fail "--top 2 not best first"

expect 0 "$qel" classify -q -m folder.model --min-score 1.5 test/en
awk -F'\t' '$2 != "-" { exit 1 }' out.txt || fail "--min-score 1.5 rejected nothing"
expect 0 "$qel" classify -q -m folder.model --min-distance 2 test/es
awk -F'\t' '$2 != "-" { exit 1 }' out.txt || fail "--min-distance 2 rejected nothing"

expect 0 "$qel" classify -q -m folder.model --format jsonl --top 3 test/de
python3 - out.txt <<'PY' || fail "JSON Lines output"
import json, sys
lines = open(sys.argv[1], encoding="utf-8").read().splitlines()
assert len(lines) == 8, len(lines)
for line in lines:
    d = json.loads(line)
    assert d["label"] == "de" and not d["rejected"], d
    assert len(d["top"]) == 3 and d["top"][0]["score"] >= d["top"][1]["score"], d
    assert d["score"] == d["top"][0]["score"], d
PY

expect 0 "$qel" classify -q -m folder.model --format xml -o results.xml test
[ ! -s out.txt ] || fail "classify -o still printed to stdout"
"$xmlcheck" results.xml >check.txt 2>&1 || fail "result XML not accepted: $(cat check.txt)"
grep -q ': ClassificationResults$' check.txt || fail "result XML root: $(cat check.txt)"
[ "$(grep -c '<Document ' results.xml)" -eq 24 ] || fail "result XML does not hold 24 documents"
grep -q 'ClassGuid="es"' results.xml || fail "result XML does not name the classes"

# Standard input: ids from the tab, or the line number; results stream out as lines arrive.
printf 'x1\t%s\n%s\n' "$(text en 10)" "$(text es 10)" | "$qel" classify -q -m folder.model - >out.txt
[ "$(cut -f1,2 out.txt | tr '\t\n' ' ,')" = "x1 en,-:2 es," ] || fail "stdin ids or labels: $(cat out.txt)"
coproc Q { "$qel" classify -q -m folder.model -; }
in=${Q[1]} back=${Q[0]} pid=$Q_PID
printf '%s\n' "$(text de 10)" >&"$in"
if read -r -t 60 line <&"$back"; then
  [[ $line == -:1$'\t'de$'\t'* ]] || fail "streamed line: $line"
else
  fail "classify - did not answer a line before its input ended"
fi
eval "exec $in>&-"
wait "$pid" 2>/dev/null

expect 0 "$qel" evaluate -q -m folder.model test --report report.html --plot plot.svg
grep -q '^accuracy 1.0000$' out.txt || fail "evaluate accuracy: $(cat out.txt)"
grep -q '^macro F1 1.0000$' out.txt || fail "evaluate macro F1: $(cat out.txt)"
grep -q 'rejected 0' out.txt || fail "evaluate rejected count: $(cat out.txt)"
grep -Eq '^de +8 +0 +0 +0$' out.txt || fail "evaluate error matrix row: $(cat out.txt)"
"$xmlcheck" report.html plot.svg >check.txt 2>&1 || fail "report or plot not accepted: $(cat check.txt)"
grep -q 'report.html: html$' check.txt || fail "report root: $(cat check.txt)"
grep -q 'plot.svg: svg$' check.txt || fail "plot root: $(cat check.txt)"
grep -q '<svg' report.html || fail "report has no inline SVG"
grep -c '<polyline' plot.svg | grep -qx 6 || fail "plot lacks the two curves of each class"

expect 0 "$qel" evaluate -q -m folder.model test --min-score 1.5 --json
python3 - out.txt <<'PY' || fail "evaluate --json"
import json, sys
d = json.load(open(sys.argv[1]))
assert d["documents"] == 24 and d["rejected"] == 24 and d["correct"] == 0, d
assert [c["label"] for c in d["classes"]] == ["de", "en", "es"], d
assert d["matrix"][0] == [0, 0, 0, 8], d
PY

# --- Section: shards through GNU parallel ---
if command -v parallel >/dev/null; then
  expect 0 "$qel" train -q all.tsv -o single.model
  # Four shards holding every class each (round robin over lines).
  awk '{ print > ("shard" (NR % 4) ".tsv") }' all.tsv
  parallel --will-cite "$qel" train -q {} -o {.}.model ::: shard0.tsv shard1.tsv shard2.tsv shard3.tsv ||
    fail "parallel train"
  expect 0 "$qel" merge shard0.model shard1.model shard2.model shard3.model -o merged.model
  cmp -s single.model merged.model || fail "four shards merged differ from one training"
  expect 0 "$qel" merge shard3.model shard1.model shard0.model shard2.model -o merged2.model
  cmp -s single.model merged2.model || fail "merge depends on the order of the shards"

  "$qel" classify -q -m single.model - <ids.tsv >single-run.tsv || fail "classify ids.tsv"
  parallel --will-cite --pipe -k -N 30 "$qel" classify -q -m single.model - <ids.tsv >parallel-run.tsv ||
    fail "parallel classify"
  [ "$(wc -l <single-run.tsv)" -eq 120 ] || fail "classify of 120 lines gave $(wc -l <single-run.tsv)"
  cmp -s single-run.tsv parallel-run.tsv || fail "classification split in four differs from one run"
  cut -f1 single-run.tsv | head -1 | grep -qx 'de-1' || fail "ids from id<TAB>text lines"
  # The same through files: the test folders, one job per class folder.
  parallel --will-cite -k "$qel" classify -q -m folder.model {} ::: test/de test/en test/es >parallel-folder.tsv
  cmp -s single-folder.tsv parallel-folder.tsv || fail "classification of folders in parallel differs"
else
  fail "GNU parallel is not installed (scripts/setup installs it)"
fi

# --- Bad input: one line naming the file, a documented code, no half-written output ---
mkdir -p bad/a bad/b bad/empty
cp train/en/1.txt bad/a/
cp train/de/1.txt bad/b/
expect_error 3 bad/empty "$qel" train -q bad -o bad.model
grep -q 'empty class' err.txt || fail "empty class message: $(cat err.txt)"
rmdir bad/empty
ln -s /nonexistent/file bad/a/broken.txt
expect_error 3 bad/a/broken.txt "$qel" train -q bad -o bad.model
expect_error 3 bad/a/broken.txt "$qel" classify -q -m folder.model bad/a
expect_error 3 bad/a/broken.txt "$qel" evaluate -q -m folder.model bad --report bad.html
[ ! -e bad.model ] && [ ! -e bad.html ] || fail "a failed command left an output file"
rm bad/a/broken.txt
printf 'no tab on this line\n' >bad.tsv
expect_error 3 bad.tsv "$qel" train -q bad.tsv -o bad.model
expect_error 3 missing.tsv "$qel" train -q missing.tsv -o bad.model
printf 'fr\tle la les\n' >unknown.tsv
expect_error 3 unknown.tsv "$qel" evaluate -q -m folder.model unknown.tsv

expect_error 4 missing.model "$qel" classify -q -m missing.model test
sed '0,/version="[0-9]*"/s//version="999"/' folder.model >other-version.model
cmp -s folder.model other-version.model && fail "could not make a model of another version"
expect_error 4 other-version.model "$qel" classify -q -m other-version.model test
head -c $(($(wc -c <folder.model) / 2)) folder.model >truncated.model
expect_error 4 truncated.model "$qel" evaluate -q -m truncated.model test --report t.html
[ ! -e t.html ] || fail "evaluate with a truncated model wrote a report"
head -c 4096 /dev/urandom >hostile.model
expect_error 4 hostile.model "$qel" merge folder.model hostile.model -o m.model
expect_error 4 truncated.model "$qel" merge truncated.model folder.model -o m.model
[ ! -e m.model ] || fail "a failed merge left a model"
"$qel" train -q --hash-bits 12 train -o small.model >/dev/null 2>&1
expect_error 4 small.model "$qel" merge folder.model small.model -o m.model

expect_error 5 no/such/dir/x.model "$qel" train -q train -o no/such/dir/x.model
expect_error 5 no/such/dir/r.tsv "$qel" classify -q -m folder.model -o no/such/dir/r.tsv test
expect_error 5 no/such/dir/r.html "$qel" evaluate -q -m folder.model test --report no/such/dir/r.html
leftovers=$(find . -name '.*.tmp-*')
[ -z "$leftovers" ] || fail "temporary files left behind: $leftovers"

finish "qel end-to-end tests"
