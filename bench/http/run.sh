#!/usr/bin/env bash
# Requests per second and p50/p99 latency of tools/call list_nutritions over
# HTTP with 8 connections, for dravo-host and for a server on the official
# SDK's transport answering the same object, at 10 and 1,000 nutritions.
# usage: bench/http/run.sh [SECONDS]   (DRAVO_HOST=path skips the build)
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-10}
scripts/install-deps.sh nodejs wrk curl
[[ -d bench/http/node_modules ]] || npm ci --prefix bench/http --no-audit --no-fund
if [[ -z ${DRAVO_HOST:-} ]]; then
  cmake --preset bench >/dev/null
  cmake --build --preset bench -j 2 --target dravo-host
  DRAVO_HOST=build/bench/bin/dravo-host
fi

work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT
# The host with the module but without the demo converters: only the
# scripted catalogue is listed.
cp -r "$(dirname "$DRAVO_HOST")" "$work/bin"
rm -f "$work/bin/plugins/dravo_demo_converters.tolm"
host=$work/bin/$(basename "$DRAVO_HOST")

catalogue() {  # COUNT: a scripted catalogue of that many nutritions
  node -e 'const n = Number(process.argv[1]);
    console.log(JSON.stringify({ nutritions: Array.from({ length: n }, (_, i) => ({
      name: `Bench Nutrition ${i}`, description: `Converts <b>format ${i}</b> files.`,
      input_extensions: [`f${i}`, "dat"], output_extensions: ["vtu"], genres: ["bench"] })) }))' "$1"
}

url_in() {  # LOG: the URL a starting server prints
  for _ in $(seq 100); do
    grep -q 'serving MCP at' "$1" && break
    sleep 0.1
  done
  grep -o 'http://[^ ]*/mcp' "$1"
}

post() {  # URL [HEADER]...: posts stdin, prints the response headers
  curl -s -D - -o /dev/null -H 'Content-Type: application/json' \
    -H 'Accept: application/json, text/event-stream' "${@:2}" --data-binary @- "$1"
}

session() {  # URL: a fresh, initialized session id
  local id
  id=$(post "$1" <<<'{"jsonrpc":"2.0","id":0,"method":"initialize","params":{"protocolVersion":"2025-06-18","capabilities":{},"clientInfo":{"name":"bench","version":"1"}}}' |
    tr -d '\r' | awk -F': ' 'tolower($1) == "mcp-session-id" { print $2 }')
  post "$1" -H "Mcp-Session-Id: $id" <<<'{"jsonrpc":"2.0","method":"notifications/initialized"}' >/dev/null
  echo "$id"
}

measure() {  # URL: "req/s p50 p99 failures"
  local id out
  id=$(session "$1")
  MCP_SESSION=$id wrk -t2 -c8 -d2s -s bench/http/call.lua "$1" >/dev/null  # warm-up
  out=$(MCP_SESSION=$id wrk -t2 -c8 -d"${seconds}s" --latency -s bench/http/call.lua "$1")
  awk '/Requests\/sec/ { rps = $2 } $1 == "50%" { p50 = $2 } $1 == "99%" { p99 = $2 }
       /Non-2xx/ { bad = $NF } /Socket errors/ { bad = bad "+" $0 }
       END { printf "%s %s %s %s\n", rps, p50, p99, bad ? bad : 0 }' <<<"$out"
}

echo "load before: $(cat /proc/loadavg)"
printf '%-12s %-14s %12s %9s %9s %s\n' nutritions server "req/s" p50 p99 failures
for count in 10 1000; do
  catalogue "$count" >"$work/n$count.json"
  "$host" call list_nutritions '{}' --nutritions "$work/n$count.json" >"$work/result$count.json"
  "$host" serve --http 0 --nutritions "$work/n$count.json" 2>"$work/host.log" &
  pids+=($!)
  node bench/http/sdk_server.mjs "$work/result$count.json" 2>"$work/sdk.log" &
  pids+=($!)
  ours=$(url_in "$work/host.log")
  sdk=$(url_in "$work/sdk.log")
  read -r host_rps host_p50 host_p99 host_bad < <(measure "$ours")
  read -r sdk_rps sdk_p50 sdk_p99 sdk_bad < <(measure "$sdk")
  printf '%-12s %-14s %12s %9s %9s %s\n' "$count" dravo-host "$host_rps" "$host_p50" "$host_p99" "$host_bad"
  printf '%-12s %-14s %12s %9s %9s %s\n' "$count" "SDK server" "$sdk_rps" "$sdk_p50" "$sdk_p99" "$sdk_bad"
  awk -v a="$host_rps" -v b="$sdk_rps" -v n="$count" 'BEGIN { printf "%-12s dravo-host / SDK: %.1fx\n", n, a / b }'
  kill "${pids[@]}" 2>/dev/null
  pids=()
done
echo "load after: $(cat /proc/loadavg)"
