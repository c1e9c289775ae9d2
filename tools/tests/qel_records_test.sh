#!/usr/bin/env bash
# End-to-end tests of qel records and qel text on small inputs made in a temporary folder:
# outputs, exit codes and one error per kind of bad input.
# Usage: qel_records_test.sh path/to/qel
set -uo pipefail
qel=$(realpath "${1:?usage: qel_records_test.sh qel}")
# shellcheck source=common.sh
source "$(dirname "$0")/common.sh"

# same FILE EXPECTED WHAT: the file holds exactly EXPECTED (printf format).
same() {
  # shellcheck disable=SC2059
  printf "$2" >expected.bin
  cmp -s "$1" expected.bin || fail "$3: got $(od -An -c "$1" | head -c 400), expected $(od -An -c expected.bin | head -c 400)"
}

# --- qel records ---
printf 'Hello,"a, b",\xef\xbc\xa1\xef\xbc\xa2\xef\xbc\xa3 Stra\xc3\x9fe\n\n\xc3\x89cole;x,\xe6\x9d\xb1\xe4\xba\xac,\xef\xbc\xb8\n' >r.csv
# Each row: expected output (printf format), then the options.
records_cases=(
  'Hello\ta, b\t\xef\xbc\xa1\xef\xbc\xa2\xef\xbc\xa3 Stra\xc3\x9fe\n\xc3\x89cole;x\t\xe6\x9d\xb1\xe4\xba\xac\t\xef\xbc\xb8\n|'
  'hello\ta, b\tabc strasse\necole;x\t\xe6\x9d\xb1 \xe4\xba\xac\tx\n|-n'
  'Hello\ta, b\tABC Stra\xc3\x9fe\n\xc3\x89cole;x\t\xe6\x9d\xb1\xe4\xba\xac\tX\n|--width'
  'hello\ta, b\t\xef\xbd\x81\xef\xbd\x82\xef\xbd\x83 stra\xc3\x9fe\n\xc3\xa9cole;x\t\xe6\x9d\xb1\xe4\xba\xac\t\xef\xbd\x98\n|--fold-case'
  'Hello\ta, b\t\xef\xbc\xa1\xef\xbc\xa2\xef\xbc\xa3 Strasse\nEcole;x\t\xe6\x9d\xb1\xe4\xba\xac\t\xef\xbc\xb8\n|--spelling'
  'Hello\ta, b\t\xef\xbc\xa1\xef\xbc\xa2\xef\xbc\xa3 Stra\xc3\x9fe\n\xc3\x89cole\tx\t\xe6\x9d\xb1\xe4\xba\xac\t\xef\xbc\xb8\n|-d ,;'
  'Hello\t"a\t b"\t\xef\xbc\xa1\xef\xbc\xa2\xef\xbc\xa3 Stra\xc3\x9fe\n\xc3\x89cole;x\t\xe6\x9d\xb1\xe4\xba\xac\t\xef\xbc\xb8\n|--no-protect'
  'abc strasse\thello\nxx\txx\n|-n --fields 3,1 --pairs pairs.tsv'
  'Hell\ta, b\t\xef\xbc\xa1\xef\xbc\xa2\xef\xbc\xa3 Strae\n\xc3\x89cle;x\t\xe6\x9d\xb1\xe4\xba\xac\t\xef\xbc\xb8\n|--remove o\xc3\x9f'
)
printf 'x\txx\n\xc3\xa9cole;\t\n' >pairs.tsv
for row in "${records_cases[@]}"; do
  want=${row%%|*}
  read -ra opts <<<"${row#*|}"
  # shellcheck disable=SC2059
  for i in "${!opts[@]}"; do opts[$i]=$(printf -- "${opts[$i]}"); done
  expect 0 "$qel" records "${opts[@]}" r.csv
  same out.txt "$want" "records ${opts[*]}"
done

# Standard input, an output file, tab as delimiter, fields past the end of a record.
printf 'a\tb\nc\n' | "$qel" records -d '\t' --fields 2,1 - >out.txt 2>err.txt || fail "records from stdin"
same out.txt 'b\ta\n\tc\n' "records from standard input"
expect 0 "$qel" records -q r.csv -o prepared.tsv
[ ! -s out.txt ] || fail "records -o also wrote to stdout"
expect 0 "$qel" records r.csv
cmp -s out.txt prepared.tsv || fail "records -o differs from stdout"

# A refused record is reported with its line and left out; the others are kept.
printf 'a,b\nc,"d\ne,f\n' >bad.csv
expect 6 "$qel" records bad.csv
same out.txt 'a\tb\ne\tf\n' "records with an unbalanced qualifier"
grep -q '^qel: bad.csv:2: record skipped' err.txt || fail "no line number for the skipped record: $(cat err.txt)"
grep -q '1 record(s) skipped' err.txt || fail "no count of skipped records: $(cat err.txt)"
expect 0 "$qel" records --no-protect bad.csv

expect_error 3 missing.csv "$qel" records missing.csv
expect_error 3 "no tab" "$qel" records --pairs r.csv r.csv
expect_error 2 "--delimiter" "$qel" records -d $'\xef\xac\x81' r.csv
expect 2 "$qel" records --fields 0 r.csv
expect_error 5 "nofolder/out" "$qel" records r.csv -o nofolder/out

# --- qel text ---
printf 'plain\n' >ansi.txt
printf 'caf\xc3\xa9\n' >utf8.txt
printf '\xef\xbb\xbfa\n' >bom.txt
printf '\xff\xfea\x00\n\x00' >le.txt
printf '\xfe\xff\x00a\x00\n' >be.txt
printf '\xff\xfe\x00\x00a\x00\x00\x00' >u32.txt
expect 3 "$qel" text detect ansi.txt utf8.txt bom.txt le.txt be.txt u32.txt missing.txt
same out.txt 'ansi.txt\tansi\nutf8.txt\tutf-8\nbom.txt\tutf-8-bom\nle.txt\tutf-16le\nbe.txt\tutf-16be\nu32.txt\tutf-32le\n' "text detect"
grep -q 'missing.txt: no such file' err.txt || fail "text detect does not name the missing file"

# Conversion keeps empty lines and ends every line with a line feed.
printf 'caf\xc3\xa9\r\n\r\n\xe6\x9d\xb1' >in.txt
convert_cases=(
  'utf-8|caf\xc3\xa9\n\n\xe6\x9d\xb1\n'
  'utf-8-bom|\xef\xbb\xbfcaf\xc3\xa9\n\n\xe6\x9d\xb1\n'
  'utf-16le|\xff\xfec\x00a\x00f\x00\xe9\x00\n\x00\n\x00\x71\x67\n\x00'
  'utf-16be|\xfe\xff\x00c\x00a\x00f\x00\xe9\x00\n\x00\n\x67\x71\x00\n'
)
for row in "${convert_cases[@]}"; do
  to=${row%%|*}
  expect 0 "$qel" text convert in.txt --to "$to" -o "conv.$to"
  same "conv.$to" "${row#*|}" "text convert --to $to"
  expect 0 "$qel" text convert "conv.$to" --to utf-8
  same out.txt 'caf\xc3\xa9\n\n\xe6\x9d\xb1\n' "text convert back from $to"
done
# ANSI: what the code page holds is written, the rest is reported with its line and exit 6.
expect 6 "$qel" text convert in.txt --to ansi
same out.txt 'caf\xe9\n\n?\n' "text convert --to ansi"
grep -q '^qel: in.txt:3: .*U+6771' err.txt || fail "unrepresentable character not reported: $(cat err.txt)"
expect 0 "$qel" text convert utf8.txt --to ansi
expect_error 2 "latin1" "$qel" text convert in.txt --to latin1
expect_error 3 missing.txt "$qel" text convert missing.txt --to utf-8
expect_error 3 "UTF32" "$qel" text convert u32.txt --to utf-8

# Words: letters folded onto the filter's alphabet, one CJK character a word (a surrogate pair
# decoded whole), short words dropped, digits kept only when asked for.
printf 'Hello w\xc3\xb6rld, \xe6\x9d\xb1\xe4\xba\xac \xf0\xa0\x80\x8bx ab1 a\n\nZ\n' >words.txt
expect 0 "$qel" text words words.txt
same out.txt 'hello\nworld\n\xe6\x9d\xb1\n\xe4\xba\xac\n\xf0\xa0\x80\x8b\nx\nab\na\nz\n' "text words"
expect 0 "$qel" text words --digits --min-word-length 2 words.txt
same out.txt 'hello\nworld\n\xe6\x9d\xb1\n\xe4\xba\xac\n\xf0\xa0\x80\x8b\nab1\n' "text words --digits"
expect_error 3 missing.txt "$qel" text words missing.txt
expect 2 "$qel" text

finish "qel records and text tests"
