#!/usr/bin/env bash
# Builds the release host (bench preset) and runs its benchmarks.
set -euo pipefail
cd "$(dirname "$0")/../.."
# Some nodejs packages bring npm along; Debian's ships it separately.
extra=(nodejs)
command -v npm >/dev/null || extra+=(npm)
scripts/install-deps.sh "${extra[@]}"
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$(nproc)" --target bench_host
