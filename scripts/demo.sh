#!/usr/bin/env bash
# Builds the release tree, installs it to a temporary folder and holds a
# short MCP conversation with the installed dravo-host, printed readably.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh jq

cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" \
  --target dravo-host dravo_demo_samples
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install build/default --prefix "$prefix" >/dev/null
host=$prefix/bin/dravo-host
inputs=$prefix/inputs
output=$prefix/output
mkdir -p "$inputs" "$output"
cp build/default/samples/las_format3.las build/default/samples/cloud.xyz "$inputs/"

bold=$'\e[1m' dim=$'\e[2m' plain=$'\e[0m'
[[ -t 1 ]] || bold="" dim="" plain=""
echo "${bold}Installed to $prefix; starting: dravo-host serve (plug-ins from $prefix/bin/plugins)${plain}"

coproc HOST { "$host" serve 2>"$prefix/host.log"; }
host_pid=$HOST_PID  # bash forgets it once the host has exited
id=0
# say TITLE METHOD PARAMS [JQ-FILTER]: one request, its answer shown through the filter.
say() {
  local title=$1 method=$2 params=$3 filter=${4:-.}
  id=$((id + 1))
  echo
  echo "${bold}── $id. $title${plain}"
  echo "${dim}→ $method $(jq -c . <<<"$params")${plain}"
  jq -cn --argjson id "$id" --arg m "$method" --argjson p "$params" \
    '{jsonrpc:"2.0",id:$id,method:$m,params:$p}' >&"${HOST[1]}"
  local answer
  IFS= read -r answer <&"${HOST[0]}"
  echo "← $(jq "$filter" <<<"$answer")"
}
tool() {  # TITLE TOOL ARGUMENTS [JQ-FILTER]: a tools/call, showing the tool's result object
  say "$1" tools/call "$(jq -cn --arg n "$2" --argjson a "$3" '{name:$n,arguments:$a}')" \
    "if .result then (.result | {isError, result: (.structuredContent | ${4:-.})}) else .error end"
}

las=$inputs/las_format3.las
xyz=$inputs/cloud.xyz
say "Handshake" initialize \
  '{"protocolVersion":"2025-06-18","capabilities":{},"clientInfo":{"name":"demo","version":"1"}}' \
  '.result | {protocolVersion, serverInfo}'
echo '{"jsonrpc":"2.0","method":"notifications/initialized"}' >&"${HOST[1]}"
say "What tools are there?" tools/list '{}' \
  '[.result.tools[] | "\(.name): \(.description | .[0:90])..."]'
tool "Which nutritions are there?" list_nutritions '{}' \
  '{count, nutritions: [.nutritions[] | "\(.name) (\(.extensions | join(", ")))"]}'
tool "Which nutritions handle .las files?" list_nutritions '{"extension":"las"}'
tool "Tell me about the LAS converter" describe_nutrition '{"name":"LAS to PLY/XYZ"}'
tool "What is in this file?" analyse_nutrition \
  "$(jq -cn --arg f "$las" '{name:"LAS to PLY/XYZ",files:[$f]}')"
tool "What would a run write? (preview)" run_nutrition \
  "$(jq -cn --arg f "$las" --arg o "$output" '{name:"LAS to PLY/XYZ",files:[$f],output_path:$o}')"
tool "Convert it to ASCII PLY" run_nutrition \
  "$(jq -cn --arg f "$las" --arg o "$output" \
    '{name:"LAS to PLY/XYZ",files:[$f],output_path:$o,preview:false,arguments:"Binary=false"}')"
tool "And an XYZ text cloud, scaled to centimetres" run_nutrition \
  "$(jq -cn --arg f "$xyz" --arg o "$output" \
    '{name:"XYZ to PLY",files:[$f],output_path:$o,preview:false,arguments:"Scale=100;100;100"}')"

host_in=${HOST[1]}
exec {host_in}>&-  # end of input: the host finishes and exits
status=0
wait "$host_pid" || status=$?
echo
echo "${bold}Host exited with status $status. Files in the output folder:${plain}"
ls -l "$output"
echo
echo "${bold}The head of las_format3.ply:${plain}"
head -n 12 "$output/las_format3.ply"
