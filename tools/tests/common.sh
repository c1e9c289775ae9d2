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

# Word pools of three languages, and text LANG N: N words of LANG drawn with the seed below (the
# same texts on every run).
declare -A pools=(
  [en]="the of and to in is it you that he was for on are with as his they be at one have this from or had by word but what some we can out other were all there when up use your how said an each she which do their time if will way about many then them write would like so these her long make thing see him two has look more day could go come did number sound no most people my over know water than call first who may down side been now find"
  [de]="der die und in den von zu das mit sich des auf für ist im dem nicht ein eine als auch es an werden aus er hat dass sie nach wird bei einer um am sind noch wie einem über einen so zum war haben nur oder aber vor zur bis mehr durch man sein wurde sei hatte kann gegen vom können schon wenn habe seine ihre dann unter wir soll ich eines jahr zwei"
  [es]="de la que el en y a los se del las un por con no una su para es al lo como más o pero sus le ha me si sin sobre este ya entre cuando todo esta ser son dos también fue había era muy años hasta desde está mi porque qué sólo han yo hay vez puede todos así nos ni parte tiene él uno donde bien tiempo mismo ese ahora cada"
)
RANDOM=4242
text() {
  local -a words
  read -ra words <<<"${pools[$1]}"
  local out="" i
  for ((i = 0; i < $2; i++)); do out+="${words[RANDOM % ${#words[@]}]} "; done
  printf '%s' "${out% }"
}
