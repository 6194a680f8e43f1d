#!/usr/bin/env bash
# usage: build_and_load_test.sh PREFIX EXAMPLE_DIR BUILD_DIR CXX
set -euo pipefail
prefix=$1 example=$2 build=$3 cxx=$4
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$build"
cmake -S "$example" -B "$build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build "$build" >/dev/null
host=$prefix/bin/dravo-host

listed=$("$host" call list_nutritions '{"filter":"csv"}' --plugins "$build")
[[ $(jq -c '[.nutritions[].name]' <<<"$listed") == '["CSV to XYZ"]' ]] ||
  fail "the example's nutrition is not listed: $listed"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'x,y,z\n1,2,3\n4.5,-6,7\n' >"$work/points.csv"
args=$(jq -nc --arg f "$work/points.csv" --arg o "$work" \
  '{name:"CSV to XYZ", files:[$f], output_path:$o, preview:false}')
"$host" call run_nutrition "$args" --plugins "$build" >/dev/null || fail "the conversion failed"
[[ $(cat "$work/points.xyz") == $'1 2 3\n4.5 -6 7' ]] || fail "wrong output: $(cat "$work/points.xyz")"

# Its provider over MCP: the resource, then the tool that asks before it removes.
coproc HOST { "$host" serve --plugins "$build"; }
ask() {
  printf '%s\n' "$1" >&"${HOST[1]}"
  IFS= read -r -t 20 line <&"${HOST[0]}" || fail "no answer to $1"
  printf '%s' "$line"
}
request() {  # id method params-object: one request of the 2026-07-28 revision
  jq -nc --argjson id "$1" --arg m "$2" --argjson p "$3" '{jsonrpc:"2.0", id:$id, method:$m,
    params:($p + {_meta:{"io.modelcontextprotocol/protocolVersion":"2026-07-28",
      "io.modelcontextprotocol/clientCapabilities":{elicitation:{}}}})}'
}
format=$(ask "$(request 1 resources/read '{"uri":"csv-converter://format"}')")
[[ $(jq -r '.result.contents[0].text' <<<"$format") == *x,y,z* ]] || fail "resource: $format"
call=$(jq -nc --arg f "$work" '{name:"remove_xyz_outputs", arguments:{folder:$f}}')
asked=$(ask "$(request 2 tools/call "$call")")
[[ $(jq -r '.result.resultType' <<<"$asked") == input_required ]] || fail "no question: $asked"
[[ -f "$work/points.xyz" ]] || fail "removed before the user confirmed"
retry=$(jq -c --argjson a "$asked" '. + {requestState:$a.result.requestState,
  inputResponses:{confirm:{action:"accept", content:{remove:true}}}}' <<<"$call")
done_=$(ask "$(request 3 tools/call "$retry")")
[[ $(jq -r '.result.content[0].text' <<<"$done_") == "Removed 1 file(s)." ]] || fail "$done_"
[[ ! -e "$work/points.xyz" ]] || fail "the confirmed removal left the file"
exec {HOST[1]}>&-
wait
echo "example plug-in: built, listed, converted, described and cleaned up on confirmation"
