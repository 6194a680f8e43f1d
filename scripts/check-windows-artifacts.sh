#!/usr/bin/env bash
# Inspects the installed Windows tree the way a host would see it: every file a
# user runs is there, and the module's export table, import list and
# string-table resource. Prints what it found and fails on any difference from
# what the module must look like.
#
# usage: scripts/check-windows-artifacts.sh [BIN_DIR]   (default build/windows/install/bin)
set -euo pipefail
cd "$(dirname "$0")/.."

bin=${1:-build/windows/install/bin}
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
module=dravo_mcp_nutrition.tolm
plugins=$bin/plugins
export_name=TOLM_API_2026_OCT_02__dravo_mcp_nutrition

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

for tool in "$objdump" wrestool iconv od cmp; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool not found" >&2; exit 1; }
done

# --- the files themselves -------------------------------------------------
# The host, its libraries and the compiler runtime side by side; the plug-ins
# in plugins/ below them.
for file in dravo-host.exe mcp.dll pelmora.dll brasko.dll libstdc++-6.dll libgcc_s_seh-1.dll \
  libwinpthread-1.dll "plugins/$module" plugins/dravo_demo_converters.tolm; do
  if [[ ! -f $bin/$file ]]; then
    fail "$bin/$file is missing"
    continue
  fi
  header=$("$objdump" -f "$bin/$file")
  grep -q 'file format pei-x86-64' <<<"$header" || fail "$file is not a 64-bit PE image"
done
[[ -f $plugins/$module ]] || { echo "$failures failure(s)" >&2; exit 1; }

private=$("$objdump" -p "$plugins/$module")
# IMAGE_FILE_DLL is bit 0x2000 of the file header characteristics.
characteristics=$(awk '/^Characteristics/ { print $2; exit }' <<<"$private")
((${characteristics:-0} & 0x2000)) || fail "$module is not marked as a DLL (characteristics $characteristics)"

# --- export table ---------------------------------------------------------
# Rebuilt from objdump's reading of .edata into a plain listing, compared
# whole against the expected one.
exports=$(awk '
  function hex(text,    value, i) {
    value = 0
    for (i = 1; i <= length(text); i++)
      value = value * 16 + index("0123456789abcdef", tolower(substr(text, i, 1))) - 1
    return value
  }
  /^The Export Tables/ { inside = 1 }
  !inside { next }
  /^Name[ \t]/ { name = $NF }
  /^Ordinal Base/ { base = $NF }
  /^[ \t]*Export Address Table[ \t]+[0-9a-fA-F]+$/ && functions == "" { functions = hex($NF) }
  /Name Pointer\/Ordinal\] Table[ \t]+[0-9a-fA-F]+$/ { names = hex($NF) }
  /^\[Ordinal\/Name Pointer\] Table/ { table = 1; next }
  table && /^[ \t]*\[/ {
    line = $0
    # Newer binutils print the biased ordinal as "+base[ N]"; older ones only
    # the index into the address table.
    if (match(line, /\+base\[ *[0-9]+\]/)) {
      ordinal = substr(line, RSTART + 6, RLENGTH - 7) + 0
      sub(/^[ \t]*\[ *[0-9]+\] *\+base\[ *[0-9]+\] */, "", line)
    } else {
      match(line, /\[ *[0-9]+\]/)
      ordinal = substr(line, RSTART + 1, RLENGTH - 2) + base
      sub(/^[ \t]*\[ *[0-9]+\] */, "", line)
    }
    listing = listing sprintf("  ordinal %d: %s\n", ordinal, line)
    next
  }
  table && /^[ \t]*$/ { table = 0; inside = 0 }
  END {
    printf "  dll name: %s\n  ordinal base: %s\n  functions: %d\n  names: %d\n%s", name, base, functions, names, listing
  }' <<<"$private")
expected_exports=$(printf '  dll name: %s\n  ordinal base: 1\n  functions: 1\n  names: 1\n  ordinal 1: %s\n' \
  "$module" "$export_name")
echo "export table of $module:"
echo "$exports"
if [[ $exports != "$expected_exports" ]]; then
  fail "export table differs from the expected one:"
  diff <(echo "$expected_exports") <(echo "$exports") >&2 || true
fi

# --- import list ----------------------------------------------------------
# Only the three host libraries, the C/C++ runtime and system DLLs.
required_imports=(mcp.dll pelmora.dll brasko.dll)
allowed_imports='^(mcp|pelmora|brasko)\.dll$|^(libstdc\+\+-6|libgcc_s_seh-1|libwinpthread-1|msvcrt|ucrtbase)\.dll$|^api-ms-win-crt-[a-z0-9-]+\.dll$|^(kernel32|ntdll|advapi32|user32|shell32|ole32|bcrypt)\.dll$'
mapfile -t imports < <(sed -n 's/^[ \t]*DLL Name: //p' <<<"$private")
echo "imports of $module: ${imports[*]}"
((${#imports[@]})) || fail "$module imports nothing, which cannot be right"
for dll in "${imports[@]}"; do
  lower=$(tr '[:upper:]' '[:lower:]' <<<"$dll")
  [[ $lower =~ $allowed_imports ]] || fail "$module imports $dll, which is neither a host library nor a runtime or system DLL"
done
for dll in "${required_imports[@]}"; do
  printf '%s\n' "${imports[@]}" | grep -qix "$dll" || fail "$module does not import $dll"
done

# --- string-table resource ------------------------------------------------
# Exactly one resource: type 6 (string table), block 1, language 1033,
# code page 0.
resources=$(wrestool -l "$plugins/$module")
echo "resources of $module:"
echo "$resources" | sed 's/^/  /'
resource_pattern='^--type=6 --name=1 --language=1033 \[type=string offset=0x[0-9a-f]+ size=[0-9]+\]$'
if [[ $(wc -l <<<"$resources") -ne 1 || ! $resources =~ $resource_pattern ]]; then
  fail "expected exactly one resource, string-table block 1 in language 1033"
fi
leaves=$(awk '/^The \.rsrc Resource Directory/ { inside = 1 } inside && /Leaf:/' <<<"$private")
if [[ $(grep -c 'Leaf:' <<<"$leaves") -ne 1 ]] || ! grep -q 'Codepage: 0$' <<<"$leaves"; then
  fail "the string-table block must be the one resource, with code page 0: $leaves"
fi

# The raw block: sixteen counted UTF-16LE strings, ids 0 to 15.
texts=("" "TOLM_API_2026_OCT_02" "dravo/mcp/nutrition" "" "" "" "" "" "" "" "" "" "" "" "" "")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for text in "${texts[@]}"; do
  length=${#text}
  printf "\\x$(printf %02x $((length & 0xff)))\\x$(printf %02x $((length >> 8)))"
  printf '%s' "$text" | iconv -f UTF-8 -t UTF-16LE
done >"$work/expected.bin"
wrestool -x --raw --type=6 --name=1 --language=1033 "$plugins/$module" >"$work/actual.bin" ||
  fail "cannot extract string-table block 1"

# Decode what is actually there, so the printout shows the module's strings
# and not the expectation.
mapfile -t units < <(od -An -v -tu2 --endian=little "$work/actual.bin" | tr -s ' ' '\n' | sed '/^$/d')
echo "string table of $module (block 1, language 1033):"
position=0
for id in $(seq 0 15); do
  if ((position >= ${#units[@]})); then
    fail "string-table block ends before id $id"
    break
  fi
  length=${units[position]}
  position=$((position + 1))
  text=""
  for ((i = 0; i < length && position < ${#units[@]}; i++, position++)); do
    unit=${units[position]}
    if ((unit >= 0x20 && unit < 0x7f)); then
      text+=$(printf "\\x$(printf %02x "$unit")")
    else
      text+=$(printf '\\u%04x' "$unit")
    fi
  done
  if ((length == 0)); then
    echo "  id $id: empty"
  else
    echo "  id $id: \"$text\" ($length code units)"
  fi
done
((position == ${#units[@]})) || fail "string-table block has $((${#units[@]} - position)) code unit(s) after id 15"
cmp -s "$work/expected.bin" "$work/actual.bin" || fail "string-table block 1 differs from the expected sixteen strings"

if ((failures)); then
  echo "$failures failure(s) in the Windows artefacts" >&2
  exit 1
fi
echo "Windows artefacts OK"
