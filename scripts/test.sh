#!/usr/bin/env bash
# Builds and runs every test: sanitizers (dev), clang, ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
for preset in dev clang tsan; do
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
# The Windows artefacts: cross-built with mingw-w64, inspected, tests run under wine.
scripts/test-windows.sh
