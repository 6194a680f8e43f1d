#!/usr/bin/env bash
# Builds the release host (bench preset) and runs its benchmarks.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/install-deps.sh nodejs npm
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$(nproc)" --target bench_host
