#!/usr/bin/env bash
# Cross-builds the Windows artefacts with mingw-w64 (preset "windows"),
# checks the module's exports, imports and string table, and runs the test
# programs under wine, headless, in a throw-away wine prefix.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 icoutils wine64

jobs=${JOBS:-$(nproc)}
echo "=== windows ==="
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
bin=build/windows/bin
scripts/check-windows-artifacts.sh "$bin"

# Debian's wine64 package keeps its loader and server outside PATH.
wine=$(command -v wine64 || true)
[[ -n $wine ]] || wine=/usr/lib/wine/wine64
wineserver=$(dirname "$(readlink -f "$wine")")/wineserver
[[ -x $wineserver ]] || wineserver=$(command -v wineserver)

# The test programs need the compiler's runtime DLLs beside them, as a
# shipped application would carry them.
compiler=x86_64-w64-mingw32-g++-posix
for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
  source=$($compiler -print-file-name=$dll)
  [[ -f $source ]] || { echo "$dll not found in the mingw-w64 install" >&2; exit 1; }
  cp -u "$source" "$bin/"
done

# A fresh prefix every run, so nothing from an earlier run or from the
# user's own wine set-up leaks in; HOME too, so nothing falls back to ~/.wine.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/dravo-wine.XXXXXX")
export WINEPREFIX=$scratch/prefix HOME=$scratch WINEARCH=win64 WINEDEBUG=-all
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

mapfile -t programs < <(find "$bin" -maxdepth 1 -name '*.exe' -printf '%f\n' | sort)
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
if ((${#failed[@]})); then
  echo "failed under wine: ${failed[*]}" >&2
  exit 1
fi
echo "Windows tests passed under wine (${#programs[@]} programs)"
