#!/usr/bin/env bash
# Cross-builds the Windows tree with mingw-w64 (preset "windows"), installs it,
# checks the module's exports, imports and string table, and runs under wine,
# headless, in a throw-away wine prefix: the test programs, then the
# end-to-end suite against the installed dravo-host.exe, and one HTTP round
# trip with it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 icoutils wine64 nodejs curl
command -v npm >/dev/null || scripts/install-deps.sh npm
[[ -d tests/e2e/node_modules ]] || npm ci --prefix tests/e2e --no-audit --no-fund

jobs=${JOBS:-$(nproc)}
echo "=== windows ==="
started=$SECONDS
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
bin=build/windows/bin
install=build/windows/install
rm -rf "$install"
cmake --install build/windows --prefix "$install" >/dev/null
scripts/check-windows-artifacts.sh "$install/bin"

# Debian's wine64 package keeps its loader and server outside PATH.
wine=$(command -v wine64 || true)
[[ -n $wine ]] || wine=/usr/lib/wine/wine64
wineserver=$(dirname "$(readlink -f "$wine")")/wineserver
[[ -x $wineserver ]] || wineserver=$(command -v wineserver)

# A fresh prefix every run, so nothing from an earlier run or from the
# user's own wine set-up leaks in; HOME too, so nothing falls back to ~/.wine.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/dravo-wine.XXXXXX")
export WINEPREFIX=$scratch/prefix HOME=$scratch WINEARCH=win64 WINEDEBUG=-all
# File names outside ASCII reach Windows programs intact only from a UTF-8 locale.
export LC_ALL=C.UTF-8
# No window system, and no offer to install the .NET and HTML runtimes.
unset DISPLAY WAYLAND_DISPLAY
export WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
# One server for all programs instead of one per program; then set the
# prefix up once.
mkdir -p "$WINEPREFIX"
"$wineserver" -p
timeout 300 "$wine" wineboot --init >"$scratch/wineboot.log" 2>&1 ||
  { cat "$scratch/wineboot.log" >&2; echo "wine cannot set up a prefix" >&2; exit 1; }

mapfile -t programs < <(find "$bin" -maxdepth 1 \( -name '*_test.exe' -o -name '*_tests.exe' \) \
  -printf '%f\n' | sort)
((${#programs[@]})) || { echo "no test programs in $bin" >&2; exit 1; }
logs=build/windows/wine-logs
mkdir -p "$logs"
failed=()
for program in "${programs[@]}"; do
  log=$logs/${program%.exe}.log
  status=0
  (cd "$bin" && timeout 600 "$wine" "$program") >"$log" 2>&1 || status=$?
  summary=$(grep -E '^\[  (PASSED|FAILED)  \]|tests? from .* ran\.' "$log" | tr '\n' ' ' || true)
  if ((status == 0)) && grep -q '^\[  PASSED  \]' "$log"; then
    echo "wine: $program: $summary"
  else
    echo "wine: $program FAILED (exit $status): $summary" >&2
    cat "$log" >&2
    failed+=("$program")
  fi
done

# The demo samples, written by the Windows build of the generator.
samples=$PWD/build/windows/samples
timeout 120 "$wine" "$bin/dravo_demo_sample_generator.exe" "Z:${samples//\//\\}" ||
  { echo "the sample generator failed under wine" >&2; exit 1; }
# The end-to-end suite, the same one the Linux builds run, against the
# installed tree under wine.
status=0
DRAVO_HOST_LAUNCHER=$wine DRAVO_HOST_PREFIX=$PWD/$install DRAVO_SAMPLES=$samples \
  DRAVO_NUTRITIONS=$PWD/$install/share/dravo-host/example-nutritions.json \
  timeout 600 node --test tests/e2e/host.test.mjs >"$logs/e2e.log" 2>&1 || status=$?
if ((status == 0)); then
  echo "wine: e2e: $(grep -E '^(# |ℹ )(tests|pass|fail|skipped) ' "$logs/e2e.log" | tr '\n' ' ')"
else
  cat "$logs/e2e.log" >&2
  failed+=(e2e)
fi

# HTTP on Windows: a session, then a tool call whose answer names a
# nutrition of the catalogue.
http_round_trip() {
  local log=$logs/http.log catalogue=$PWD/$install/share/dravo-host/example-nutritions.json
  "$wine" "$install/bin/dravo-host.exe" serve --http 0 --nutritions "Z:${catalogue//\//\\}" \
    2>"$log" &
  local pid=$! url id answer
  for _ in $(seq 600); do
    grep -q 'serving MCP at' "$log" && break
    sleep 0.1
  done
  url=$(grep -o 'http://[^ ]*/mcp' "$log") || { kill "$pid"; return 1; }
  curl -s -o /dev/null -D "$scratch/headers" -H 'Content-Type: application/json' --data \
    '{"jsonrpc":"2.0","id":0,"method":"initialize","params":{"protocolVersion":"2025-06-18","capabilities":{},"clientInfo":{"name":"wine","version":"1"}}}' \
    "$url"
  id=$(tr -d '\r' <"$scratch/headers" | awk -F': ' 'tolower($1) == "mcp-session-id" { print $2 }')
  answer=$(curl -s -H 'Content-Type: application/json' -H "Mcp-Session-Id: $id" --data \
    '{"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"list_nutritions","arguments":{"filter":"slow"}}}' \
    "$url")
  kill "$pid"
  wait "$pid" 2>/dev/null
  echo "$answer" >>"$log"
  grep -q '"structuredContent":{"success":true,"count":1,"nutritions":\[{"name":"Slow Converter"' \
    <<<"$answer"
}
if http_round_trip; then
  echo "wine: http: a session and a tools/call answered at $(grep -o 'http://[^ ]*/mcp' "$logs/http.log")"
else
  cat "$logs/http.log" >&2
  failed+=(http)
fi

if ((${#failed[@]})); then
  echo "failed under wine: ${failed[*]}" >&2
  exit 1
fi
echo "Windows step passed under wine (${#programs[@]} test programs, the e2e suite and HTTP)" \
  "in $((SECONDS - started)) s"
