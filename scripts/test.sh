#!/usr/bin/env bash
# Builds and runs every test: formatting, sanitizers (dev), clang, ThreadSanitizer,
# a short run of each fuzz target, then the Windows cross-build under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
# Some nodejs packages bring npm along; Debian's ships it separately.
extra=(nodejs jq)
command -v npm >/dev/null || extra+=(npm)
scripts/install-deps.sh "${extra[@]}"
# The end-to-end tests' client, pinned by tests/e2e/package-lock.json.
[[ -d tests/e2e/node_modules ]] || npm ci --prefix tests/e2e --no-audit --no-fund

scripts/check-format.sh

jobs=$(nproc)
for preset in dev clang tsan; do
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
# Every fuzz target, briefly, on its seed corpus.
echo "=== fuzz ==="
scripts/fuzz.sh
# The Windows artefacts: cross-built with mingw-w64, inspected, tests run under wine.
scripts/test-windows.sh
