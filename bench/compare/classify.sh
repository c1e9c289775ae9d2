#!/usr/bin/env bash
# Compares qel with scikit-learn and fastText on the 12-language fortune corpus, in one run on
# the same split: accuracy, wall time of whole processes (median of three runs), and peak memory
# (max RSS); then qel's time against the number of training texts and threads.
#   qel train + qel evaluate (the default model options)
#   scikit-learn MultinomialNB on word unigrams (alpha 0.1), vectorise + train + classify
#   scikit-learn TF-IDF char_wb 1-4-grams (sublinear tf) + LinearSVC
#   fastText supervised with its defaults
# Usage: bench/compare/classify.sh [build-dir]   (a Release build with the qel program)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build-run}
qel="$build/tools/qel"
[ -x "$qel" ] || { echo "no $qel: build first (scripts/run builds build-run/)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source bench/compare/common.sh
need_packages python3-sklearn fasttext time
scripts/corpus "$work/corpus" 2>/dev/null
train="$work/corpus/train.tsv"
test="$work/corpus/test.tsv"

row() { printf '| %-44s | %8s | %9s | %9s |\n' "$@"; }
echo "Training texts: $(wc -l <"$train"), test texts: $(wc -l <"$test"), cores: $(nproc)"
echo
row "System" "Accuracy" "Time (s)" "Max RSS (MB)"
row "---" "---" "---" "---"

read -r t1 m1 _ < <(measure "$work/out" "$qel" train --quiet "$train" -o "$work/model")
read -r t2 m2 _ < <(measure "$work/out" "$qel" evaluate --quiet -m "$work/model" "$test")
acc=$(awk '/^accuracy /{ print $2 }' "$work/out")
qel_time=$(awk -v a="$t1" -v b="$t2" 'BEGIN { printf "%.2f", a + b }')
qel_rss=$(( (m1 > m2 ? m1 : m2) / 1024 ))
row "qel train + qel evaluate" "$acc" "$qel_time" "$qel_rss"

cat >"$work/sk.py" <<'PY'
import sys, time
from sklearn.feature_extraction.text import CountVectorizer, TfidfVectorizer
from sklearn.naive_bayes import MultinomialNB
from sklearn.svm import LinearSVC

def load(path):
    labels, texts = [], []
    for line in open(path, encoding="utf-8"):
        label, text = line.rstrip("\n").split("\t", 1)
        labels.append(label)
        texts.append(text)
    return labels, texts

ytr, xtr = load(sys.argv[2])
yte, xte = load(sys.argv[3])
if sys.argv[1] == "nb":
    vec, clf = CountVectorizer(), MultinomialNB(alpha=0.1)
else:
    vec = TfidfVectorizer(analyzer="char_wb", ngram_range=(1, 4), sublinear_tf=True)
    clf = LinearSVC()
start = time.perf_counter()
clf.fit(vec.fit_transform(xtr), ytr)
pred = clf.predict(vec.transform(xte))
seconds = time.perf_counter() - start
print(sum(p == y for p, y in zip(pred, yte)) / len(yte), seconds)
PY
for kind in nb svm; do
  read -r t m _ < <(measure "$work/out" /usr/bin/python3 "$work/sk.py" "$kind" "$train" "$test")
  name="scikit-learn MultinomialNB, word unigrams"
  [ "$kind" = svm ] && name="scikit-learn TF-IDF char_wb 1-4 + LinearSVC"
  read -r sk_acc sk_inner <"$work/out"
  row "$name" "$(printf '%.4f' "$sk_acc")" "$t" "$((m / 1024))"
  [ "$kind" = nb ] && sk_time=$t && sk_rss=$m && sk_fit=$sk_inner
done

awk -F'\t' '{ print "__label__" $1 " " $2 }' "$train" >"$work/ft.train"
awk -F'\t' '{ print "__label__" $1 " " $2 }' "$test" >"$work/ft.test"
read -r t3 m3 _ < <(measure "$work/out" fasttext supervised -input "$work/ft.train" -output "$work/ft")
read -r t4 m4 _ < <(measure "$work/out" fasttext test "$work/ft.bin" "$work/ft.test")
ft_acc=$(awk '/^P@1/{ print $2 }' "$work/out")
row "fastText supervised, defaults" "$ft_acc" "$(awk -v a="$t3" -v b="$t4" 'BEGIN { printf "%.2f", a + b }')" \
  "$(( (m3 > m4 ? m3 : m4) / 1024 ))"
echo
awk -v q="$qel_time" -v s="$sk_time" 'BEGIN { printf "qel time / scikit-learn MultinomialNB time: %.2f (goal <= 0.25)\n", q / s }'
awk -v q="$qel_time" -v s="$sk_fit" 'BEGIN { printf "qel time / scikit-learn MultinomialNB time without starting Python and importing (%.2f s): %.2f\n", s, q / s }'
awk -v q="$qel_rss" -v s="$sk_rss" 'BEGIN { printf "qel max RSS / scikit-learn MultinomialNB max RSS: %.2f (goal <= 1)\n", q / (s / 1024) }'

# qel against the number of training texts (drawn from both splits, so that about 30,000 exist)
# and the number of threads; the test split is classified each time (a small training set may
# lack a class of the test split, so it is not evaluated).
echo
echo "| Training texts | Threads | qel train (s) | qel classify, test split (s) |"
echo "| ---: | ---: | ---: | ---: |"
cat "$train" "$test" | shuf --random-source=<(yes) >"$work/all.tsv"  # a fixed shuffle
for size in 1000 10000 30000; do
  head -n "$size" "$work/all.tsv" >"$work/part.tsv"
  for threads in 1 2; do
    read -r tt _ _ < <(measure "$work/out" "$qel" train --quiet -j "$threads" "$work/part.tsv" -o "$work/part.model")
    read -r te _ _ < <(measure "$work/out" "$qel" classify --quiet -j "$threads" -m "$work/part.model" "$test")
    printf '| %s | %s | %s | %s |\n' "$(wc -l <"$work/part.tsv")" "$threads" "$tt" "$te"
  done
done
