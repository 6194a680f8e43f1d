#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset) and runs each for a short while
# on its seed corpus, from a fixed seed so that runs repeat: a smoke check.
# FUZZ_SECONDS sets the time per target (default 15). New inputs are thrown
# away; a crash fails the script (after the other targets ran) and leaves its
# input in build/fuzz/artifacts/.
# Long runs: see README.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh libclang-rt-dev nlohmann-json3-dev
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j 2
seconds=${FUZZ_SECONDS:-15}
artifacts=build/fuzz/artifacts
mkdir -p "$artifacts"

dictionary_of() {
  case $1 in
    json_round_trip | mcp_server | scripted_catalogue) echo json ;;
    las_reader) echo las ;;
    ply_reader) echo ply ;;
    xyz_reader) echo xyz ;;
    *) echo "$1" ;;
  esac
}

failed=()
for corpus in fuzz/corpus/*/; do
  name=$(basename "$corpus")
  scratch=$(mktemp -d)
  log=$artifacts/$name.log
  dictionary=fuzz/dictionaries/$(dictionary_of "$name").dict
  options=()
  [[ -f $dictionary ]] && options+=(-dict="$dictionary")
  if ! build/fuzz/bin/fuzz_"$name" "$scratch" "$corpus" -max_total_time="$seconds" -seed=1 \
    "${options[@]}" -timeout=10 \
    -artifact_prefix="$artifacts/$name-" >"$log" 2>&1; then
    tail -n 20 "$log"
    echo "fuzz_$name: FAILED (input in $artifacts/)"
    failed+=("$name")
    continue
  fi
  rm -rf "$scratch"
  echo "fuzz_$name: $(grep -E '^#[0-9]+' "$log" | tail -n 1 | awk '{print $1 " execs, coverage " $4}' | tr -d '#'), no finding"
done
if ((${#failed[@]})); then
  echo "fuzz targets with findings: ${failed[*]}"
  exit 1
fi
