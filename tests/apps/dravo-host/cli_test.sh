#!/usr/bin/env bash
# dravo-host from the outside, where the e2e suite does not look: exit statuses
# and messages of the command line, --keep-failed, and the progress bar.
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
# expect STATUS LINE -- COMMAND...: runs it; stderr's first line must match the pattern LINE.
expect() {
  local want=$1 line=$2
  shift 3
  "$@" >"$work/out" 2>"$work/err"
  local got=$?
  [[ $got == "$want" ]] || fail "$*: exit status $got, wanted $want"
  # shellcheck disable=SC2053
  [[ $(head -n 1 "$work/err") == $line ]] || fail "$*: stderr $(cat "$work/err")"
}

expect 0 "" -- "$host" --version
grep -qxE 'dravo-host [0-9]+\.[0-9]+\.[0-9]+' "$work/out" || fail "version: $(cat "$work/out")"
expect 0 "" -- "$host" --help
grep -q "^usage: dravo-host" "$work/out" || fail "help: $(cat "$work/out")"

# Usage errors: status 2, what was wrong, then the usage; nothing on stdout.
while IFS='|' read -r args message; do
  read -ra argv <<<"$args"
  expect 2 "dravo-host: $message" -- "$host" "${argv[@]}"
  grep -q "^usage: dravo-host" "$work/err" || fail "$args: no usage"
  [[ -s $work/out ]] && fail "$args wrote to stdout"
done <<'CASES'
call list_nutritions [1]|JSON-ARGS must be a JSON object
call no_such_tool {}|no plug-in offers a tool "no_such_tool"
call list_nutritions not-json|JSON-ARGS is not valid JSON: Invalid value.
CASES
expect 2 "dravo-host: token file \"$work/none\" is missing or its first line is empty" -- \
  "$host" --http 0 --token-file "$work/none"

# A malformed catalogue stops the start, naming the file and the place.
echo '{"nutritions": [{"name": "x", "slots": [{"name": "s", "type": "vector3", "value": 1}]}]}' >"$work/bad.json"
expect 2 "dravo-host: $work/bad.json: at nutritions\\[0\\].slots\\[0\\].value: *" -- "$host" --nutritions "$work/bad.json"
[[ -s $work/out ]] && fail "a malformed catalogue wrote to stdout"

# call: status 0 exactly when the result says success.
expect 0 "" -- "$host" call list_nutritions '{}' --nutritions "$example"
expect 1 "" -- "$host" call describe_nutrition '{"name":"Nope"}' --nutritions "$example"
grep -q '"success":false' "$work/out" || fail "failed call: $(cat "$work/out")"
# call --task: the same result through a task of the in-process server.
"$host" call list_nutritions '{}' --nutritions "$example" >"$work/plain"
expect 0 "" -- "$host" call --task --task-budget 1 list_nutritions '{}' --nutritions "$example"
cmp -s "$work/plain" "$work/out" || fail "call --task: $(head -c 300 "$work/out")"

# --plugins: a missing folder is named; --keep-failed leaves a broken plug-in where it is.
expect 0 "dravo-host: plug-in folder \"$work/nowhere\" does not exist" -- \
  "$host" tools --plugins "$work/nowhere"
mkdir "$work/plugins"
echo "not a library" >"$work/plugins/broken.tolm"
expect 0 "dravo-host: plug-in \"$work/plugins/broken.tolm\" cannot be loaded: *; left in place (--keep-failed)." -- \
  "$host" tools --plugins "$work/plugins" --keep-failed
[[ -f $work/plugins/broken.tolm ]] || fail "--keep-failed renamed the plug-in"

# A progress bar on a terminal's stderr (script gives the call a pty), nothing on a pipe.
slow=(call run_nutrition "{\"name\":\"Slow Converter\",\"files\":[\"s.slow\"],\"output_path\":\"$work\",\"preview\":false}" --nutritions "$example")
expect 0 "" -- "$host" "${slow[@]}"
[[ -s $work/err ]] && fail "progress on a pipe: $(cat "$work/err")"
if command -v script >/dev/null; then
  for task in "" "--task --task-budget 300"; do
    # shellcheck disable=SC2086
    script -qefc "$(printf '%q ' "$host" "${slow[@]}" $task)" /dev/null >"$work/tty" 2>&1
    for part in "% [" " of 5" '"success":true'; do
      grep -qF -- "$part" "$work/tty" || fail "terminal $task: \"$part\" not in $(cat "$work/tty")"
    done
  done
fi

((failures)) && { echo "$failures failure(s)"; exit 1; }
echo "all passed"
