#!/usr/bin/env bash
# End-to-end tests of qel xml (check, format) and qel map on small inputs made in a temporary
# folder: outputs, exit codes, one error per kind of bad input, external entities never read,
# and the map's SVG read by the library's own XML reader.
# Usage: qel_xmlmap_test.sh path/to/qel path/to/qel_xmlcheck
set -uo pipefail
qel=$(realpath "${1:?usage: qel_xmlmap_test.sh qel qel_xmlcheck}")
xmlcheck=$(realpath "${2:?usage: qel_xmlmap_test.sh qel qel_xmlcheck}")
# shellcheck source=common.sh
source "$(dirname "$0")/common.sh"

# --- Interface ---
for cmd in "xml check" "xml format" map; do
  # shellcheck disable=SC2086
  expect 0 "$qel" $cmd --help
  grep -q 'Exit codes' out.txt || fail "qel $cmd --help lists no exit codes"
done
expect 2 "$qel" xml
expect 2 "$qel" xml check
expect 2 "$qel" map -m x.model data.tsv
expect 2 "$qel" map -m x.model data.tsv --svg m.svg --max-examples 3

# --- xml check ---
printf '<?xml version="1.0"?>\n<r a="1">\n  <e>t&amp;x</e>\n  <e/>\n</r>\n' >good.xml
gzip -c good.xml >good.xml.gz
printf '<r>\n<a>\n<b></a>\n</r>\n' >mismatch.xml
printf '<r>\n<a x="1" x="2"/>\n</r>\n' >twice.xml
printf '<r>\n<a>\n' >cut.xml
: >empty.xml
expect 0 "$qel" xml check -q good.xml good.xml.gz
[ ! -s out.txt ] && [ ! -s err.txt ] || fail "check of good files printed: $(cat out.txt err.txt)"
expect 0 "$qel" xml check -q - <good.xml
# One line per bad file, with the line of its first error; the good files pass silently.
expect 3 "$qel" xml check -q good.xml mismatch.xml twice.xml cut.xml empty.xml missing.xml
[ "$(wc -l <err.txt)" -eq 5 ] || fail "check: expected 5 lines, got: $(cat err.txt)"
for want in "mismatch.xml: not well-formed: line 3," "twice.xml: not well-formed: line 2," \
  "cut.xml: not well-formed: line 2, column 4: the document ends before the end tag of element a" \
  "empty.xml: not well-formed: line 1, column 1: the document has no root element" \
  "missing.xml: cannot read"; do
  grep -qF "qel: $want" err.txt || fail "check does not report '$want': $(cat err.txt)"
done
grep -q 'good.xml' err.txt && fail "check reported a good file: $(cat err.txt)"
expect 3 "$qel" xml check good.xml mismatch.xml
grep -qF '2 files checked, 1 well-formed, 1 not' err.txt || fail "check summary: $(cat err.txt)"
# The library's work bounds hold: more references to the document's own entities than allowed.
{
  printf '<!DOCTYPE r [<!ENTITY e "x">]>\n<r>'
  head -c 600010 /dev/zero | tr '\0' ';' | sed 's/;;;;;;/\&e;/g'
  printf '</r>\n'
} >references.xml
expect_error 3 "references.xml: beyond a safety bound" "$qel" xml check -q references.xml
expect_error 3 "references.xml: beyond a safety bound" "$qel" xml format references.xml
# A truncated gzip stream is a read error, not a shorter document.
head -c 30 good.xml.gz >cut.xml.gz
expect_error 3 "cut.xml.gz: cannot read" "$qel" xml check -q cut.xml.gz

# --- External entities and DTDs are never read ---
printf 'SECRET-CONTENT\n' >secret.txt
mkfifo blocking.fifo
cat >entity.xml <<XML
<?xml version="1.0"?>
<!DOCTYPE r SYSTEM "blocking.fifo" [
  <!ENTITY secret SYSTEM "file://$work/secret.txt">
  <!ENTITY fifo SYSTEM "blocking.fifo">
  <!ENTITY % remote SYSTEM "blocking.fifo">
  %remote;
]>
<r><a>&secret;</a><b>&fifo;</b><c>kept</c></r>
XML
# Opening the FIFO would block until the timeout: the commands end at once.
expect 0 "$qel" xml check -q entity.xml
expect 0 "$qel" xml format entity.xml
grep -q SECRET out.txt && fail "format read the external entity: $(cat out.txt)"
grep -q '<c>kept</c>' out.txt || fail "format lost the document after the entities: $(cat out.txt)"

# --- xml format ---
printf '<r a="1"><e>t&amp;x</e><e/><n><m>\xc3\xa9</m></n></r>' >flat.xml
expect 0 "$qel" xml format flat.xml
cat >want.xml <<'XML'
<?xml version="1.0"?>
<r a="1">
  <e>t&amp;x</e>
  <e/>
  <n>
    <m>&#xE9;</m>
  </n>
</r>
XML
cmp -s out.txt want.xml || fail "format output: $(cat out.txt)"
gzip -c flat.xml >flat.xml.gz
expect 0 "$qel" xml format flat.xml.gz -o round.xml.gz
[ "$(head -c 2 round.xml.gz | od -An -tx1 | tr -d ' ')" = 1f8b ] || fail "format -o x.gz is not gzip"
gzip -dc round.xml.gz | cmp -s - want.xml || fail "format gzip round trip differs"
expect 0 "$qel" xml format - -o plain.xml <flat.xml
cmp -s plain.xml want.xml || fail "format from stdin to a file differs"
expect_error 3 "mismatch.xml: not well-formed: line 3" "$qel" xml format mismatch.xml -o bad.xml
expect_error 3 "missing.xml" "$qel" xml format missing.xml -o bad.xml
expect_error 5 "no/such/dir/o.xml" "$qel" xml format good.xml -o no/such/dir/o.xml
[ ! -e bad.xml ] || fail "a failed format left an output file"

# --- map ---
RANDOM=4242  # the texts below start from the same seed on every run
: >data.tsv
for lang in en de es; do
  for i in $(seq 1 30); do printf '%s\t%s\n' "$lang" "$(text "$lang" 12)" >>data.tsv; done
done
"$qel" train -q data.tsv -o m.model >/dev/null 2>&1 || fail "could not train the model for map"

expect 0 "$qel" map -q -m m.model data.tsv --svg map.svg --max-examples 60 --components 3
"$xmlcheck" map.svg >check.txt 2>&1 || fail "map SVG not accepted: $(cat check.txt)"
grep -q ': svg$' check.txt || fail "map SVG root is not svg: $(cat check.txt)"
# 20 documents of each class, one circle each, a legend entry per class with its count.
[ "$(grep -o '<circle' map.svg | wc -l)" -eq 60 ] || fail "map: $(grep -o '<circle' map.svg | wc -l) points, expected 60"
for lang in en de es; do grep -qF ">$lang (20)</text>" map.svg || fail "legend lacks $lang (20)"; done
grep -q 'component 1 ([0-9.]*% of the variance)' map.svg || fail "map x axis not labelled"
# Three components, eigenvalues falling, shares in (0, 100], the first two summing to at most
# 100; three well separated languages need at least two components to tell apart.
awk '
  /^ *[0-9]+ +[0-9.]+ +[0-9.]+%$/ {
    n++; e[n] = $2; s[n] = $3 + 0
    if (s[n] <= 0 || s[n] > 100) bad = "share " $3
    if (n > 1 && e[n] > e[n - 1] + 1e-6) bad = "eigenvalues not falling"
  }
  END {
    if (n != 3) bad = "expected 3 components, got " n
    if (s[1] + s[2] > 100.05) bad = "shares above 100%"
    if (bad != "") { print bad; exit 1 }
  }' out.txt || fail "map printout: $(cat out.txt)"
grep -q '^documents 60 drawn of 90, classes 3$' out.txt || fail "map counts: $(cat out.txt)"
# The classes separate: along the first two components, the mean of each class lies nearer to
# its own points than to the other classes' means, for most points.
python3 - map.svg <<'PY' || fail "map does not separate the three languages"
import re, sys
svg = open(sys.argv[1]).read()
groups = re.findall(r'<g fill="([^"]+)" fill-opacity="0.65">\n<title>(\w+)</title>\n(.*?)\n</g>', svg, re.S)
assert len(groups) == 3, len(groups)
points = {name: [tuple(map(float, p)) for p in re.findall(r'cx="([-\d.]+)" cy="([-\d.]+)"', body)]
          for _, name, body in groups}
means = {n: (sum(x for x, _ in p) / len(p), sum(y for _, y in p) / len(p)) for n, p in points.items()}
near = sum(min(means, key=lambda m: (x - means[m][0]) ** 2 + (y - means[m][1]) ** 2) == n
           for n, p in points.items() for x, y in p)
assert near >= 0.8 * 60, near
PY
# The same seed draws the same documents; another seed others.
cp map.svg first.svg
expect 0 "$qel" map -q -m m.model data.tsv --svg map.svg --max-examples 60 --components 3
cmp -s map.svg first.svg || fail "map is not the same for the same seed"
expect 0 "$qel" map -q -m m.model data.tsv --svg map.svg --max-examples 60 --seed 7
cmp -s map.svg first.svg && fail "map ignores --seed"
# Fewer documents than the bound: all are drawn.
expect 0 "$qel" map -q -m m.model data.tsv --svg all.svg
grep -q '^documents 90 drawn of 90, classes 3$' out.txt || fail "map without bound: $(cat out.txt)"

expect_error 4 missing.model "$qel" map -q -m missing.model data.tsv --svg x.svg
head -c 200 m.model >truncated.model
expect_error 4 truncated.model "$qel" map -q -m truncated.model data.tsv --svg x.svg
expect_error 3 missing.tsv "$qel" map -q -m m.model missing.tsv --svg x.svg
printf 'en\tthe of and\nde\tder die und\nes\tde la que\n' >three.tsv
expect_error 3 three.tsv "$qel" map -q -m m.model three.tsv --svg x.svg
expect_error 5 no/such/dir/x.svg "$qel" map -q -m m.model data.tsv --svg no/such/dir/x.svg
[ ! -e x.svg ] || fail "a failed map left an output file"
leftovers=$(find . -name '.*.tmp-*')
[ -z "$leftovers" ] || fail "temporary files left behind: $leftovers"

finish "qel xml and map end-to-end tests"
