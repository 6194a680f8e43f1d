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
echo "example plug-in: built, listed and converted"
