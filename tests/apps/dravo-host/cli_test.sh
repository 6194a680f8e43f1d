#!/usr/bin/env bash
# dravo-host from the outside: exit statuses, messages on stderr, nothing but
# protocol on stdout, and plug-in folders given with --plugins.
# usage: cli_test.sh DRAVO_HOST EXAMPLE_NUTRITIONS_JSON
set -uo pipefail
host=$1
example=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# expect_status WANT LABEL -- COMMAND...: runs it, keeps stdout/stderr in $work.
expect_status() {
  local want=$1 label=$2
  shift 3
  "$@" >"$work/out" 2>"$work/err"
  local got=$?
  [[ $got == "$want" ]] || fail "$label: exit status $got, wanted $want; stderr: $(cat "$work/err")"
}
expect_in() {  # FILE TEXT LABEL
  grep -qF -- "$2" "$1" || fail "$3: \"$2\" not in $(basename "$1"): $(head -c 400 "$1")"
}

expect_status 0 version -- "$host" --version
grep -qE '^dravo-host [0-9]+\.[0-9]+\.[0-9]+$' "$work/out" || fail "version text: $(cat "$work/out")"
expect_status 0 help -- "$host" --help
expect_in "$work/out" "usage: dravo-host" help

# Usage errors: status 2, what was wrong, and the usage line.
while IFS='|' read -r args message; do
  read -ra argv <<<"$args"
  expect_status 2 "usage $args" -- "$host" "${argv[@]}"
  expect_in "$work/err" "$message" "usage $args"
  expect_in "$work/err" "usage: dravo-host" "usage $args"
  [[ -s $work/out ]] && fail "usage $args wrote to stdout"
done <<'CASES'
bogus|unknown command "bogus"
--frob|unknown option "--frob"
call list_nutritions|call takes a tool name
call list_nutritions not-json|JSON-ARGS is not valid JSON
call list_nutritions [1]|JSON-ARGS must be a JSON object
call no_such_tool {}|no plug-in offers a tool "no_such_tool"
--workers 0|--workers takes a number
CASES

# tools: the four declarations of the module, one JSON array.
expect_status 0 tools -- "$host" tools
names=$(jq -r '[.[].name] | join(",")' "$work/out")
[[ $names == "list_nutritions,describe_nutrition,analyse_nutrition,run_nutrition" ]] ||
  fail "tools: $names"

# call: status 0 exactly when the result says success, 1 when it says not.
"$host" call list_nutritions '{}' --nutritions "$example" >"$work/out" 2>"$work/err"
status=$?
success=$(jq -r '.success' "$work/out")
case "$success/$status" in
  true/0 | false/1) ;;
  *) fail "call: success $success with exit status $status" ;;
esac

# A progress bar on a terminal's stderr (script gives the call a pty), nothing on a pipe.
slow=(call run_nutrition "{\"name\":\"Slow Converter\",\"files\":[\"s.slow\"],\"output_path\":\"$work\",\"preview\":false}" --nutritions "$example")
expect_status 0 "slow call on a pipe" -- "$host" "${slow[@]}"
[[ -s $work/err ]] && fail "progress on a pipe: $(cat "$work/err")"
if command -v script >/dev/null; then
  script -qefc "$(printf '%q ' "$host" "${slow[@]}")" /dev/null >"$work/tty" 2>&1
  expect_in "$work/tty" "% [" "progress bar on a terminal"
  expect_in "$work/tty" " of 5" "progress bar on a terminal"
  expect_in "$work/tty" '"success":true' "result after the bar"
fi

# A malformed catalogue stops the start with file and position.
printf '{\n  "nutritions": [\n    {"name": 1}\n  ]\n}\n' >"$work/bad.json"
expect_status 2 "bad catalogue" -- "$host" tools --nutritions "$work/bad.json"
expect_in "$work/err" "$work/bad.json: at nutritions[0].name: expected a string" "bad catalogue"

# --plugins: a broken plug-in is renamed and named on stderr; --keep-failed keeps it.
mkdir -p "$work/plugins"
echo "not a library" >"$work/plugins/broken.tolm"
expect_status 0 "keep failed" -- "$host" tools --plugins "$work/plugins" --keep-failed
[[ -f $work/plugins/broken.tolm ]] || fail "--keep-failed renamed the plug-in"
expect_in "$work/err" "broken.tolm\" cannot be loaded" "keep failed"
expect_status 0 "broken plug-in" -- "$host" tools --plugins "$work/plugins"
[[ -f $work/plugins/broken.tolm~ && ! -f $work/plugins/broken.tolm ]] ||
  fail "broken plug-in not renamed to .tolm~"
expect_in "$work/err" "broken.tolm\" cannot be loaded" "broken plug-in"
[[ $(wc -l <"$work/err") == 1 ]] || fail "broken plug-in: more than one line: $(cat "$work/err")"
expect_status 0 "missing folder" -- "$host" tools --plugins "$work/nowhere"
expect_in "$work/err" "does not exist" "missing folder"

# serve: only JSON-RPC lines on stdout, answers for every request, status 0 at end of input.
{
  echo '{"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-06-18"}}'
  echo '{"jsonrpc":"2.0","method":"notifications/initialized"}'
  echo 'garbage'
  echo '{"jsonrpc":"2.0","id":2,"method":"tools/call","params":{"name":"list_nutritions"}}'
  echo '{"jsonrpc":"2.0","id":3,"method":"ping"}'
} >"$work/in"
expect_status 0 serve -- "$host" serve --nutritions "$example" <"$work/in"
[[ $(wc -l <"$work/out") == 4 ]] || fail "serve: wanted 4 lines: $(cat "$work/out")"
jq -e -s 'all(.jsonrpc == "2.0") and (map(.id | tostring) | sort) == ["1","2","3","null"]' \
  "$work/out" >/dev/null || fail "serve: not all lines are JSON-RPC: $(cat "$work/out")"
jq -e -s 'map(select(.id == null))[0].error.code == -32700' "$work/out" >/dev/null ||
  fail "serve: garbage not answered with -32700"
jq -e -s 'map(select(.id == 2))[0].result.content[0].type == "text"' "$work/out" >/dev/null ||
  fail "serve: tools/call has no text content"

if ((failures)); then
  echo "$failures failure(s)"
  exit 1
fi
echo "all passed"
