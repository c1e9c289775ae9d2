# The pieces every end-to-end test of the qel program shares; sourced by the test scripts.
# Makes a temporary folder, works in it and removes it at the end.
export LC_ALL=C.UTF-8
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# expect CODE CMD...: runs CMD (for at most five minutes), keeps stdout in out.txt and stderr in
# err.txt, checks the code.
expect() {
  local code=$1
  shift
  timeout 300 "$@" >out.txt 2>err.txt
  local got=$?
  [ "$got" -eq "$code" ] || fail "exit $got, expected $code: $* ($(head -c 300 err.txt))"
  return 0
}

# expect_error CODE NEEDLE CMD...: fails with CODE and one line on stderr that names NEEDLE.
expect_error() {
  local code=$1 needle=$2
  shift 2
  expect "$code" "$@"
  [ "$(wc -l <err.txt)" -eq 1 ] || fail "expected one line on stderr for: $* (got $(cat err.txt))"
  grep -qF -- "$needle" err.txt || fail "stderr does not name $needle: $(cat err.txt)"
  grep -q '^qel: ' err.txt || fail "stderr line does not start with 'qel: ': $(cat err.txt)"
}

# finish WHAT: the script's exit status and last line.
finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)" >&2
    exit 1
  fi
  echo "$1 passed"
}
