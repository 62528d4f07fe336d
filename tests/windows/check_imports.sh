#!/usr/bin/env bash
# Checks the import tables of the Windows programs: only system DLLs and rexx.dll, and from
# rexx.dll exactly one entry, ordinal 125; and that the stand-in exports just that ordinal.
# Usage: check_imports.sh OBJDUMP LAUNCHER.exe TOOL.exe STANDIN.dll
set -euo pipefail
objdump=$1 launcher=$2 tool=$3 standin=$4
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

# The DLLs every Windows installation has; the C runtime is msvcrt.dll or the universal one.
system_dll='^(kernel32|msvcrt|ucrtbase|advapi32|user32|ntdll|api-ms-win-[a-z0-9-]+)\.dll$'

dlls() { "$objdump" -p "$1" | sed -n 's/^\s*DLL Name: //p'; }

# The entries imported from DLL $2: "hint/ordinal name" per line, name "<none>" for an ordinal.
entries() {
  "$objdump" -p "$1" | awk -v dll="$2" '
    /^[[:space:]]*DLL Name: / { inside = (tolower($3) == tolower(dll)); next }
    inside && /Hint\/Ord/ { next }
    inside && NF == 0 { inside = 0 }
    inside { print $2, $3 }'
}

for program in "$launcher" "$tool" "$standin"; do
  while read -r dll; do
    lower=$(tr 'A-Z' 'a-z' <<<"$dll")
    if [[ $program == "$launcher" && $lower == rexx.dll ]]; then continue; fi
    [[ $lower =~ $system_dll ]] || fail "$(basename "$program") imports $dll"
  done < <(dlls "$program")
done

rexx=$(entries "$launcher" rexx.dll)
# objdump shows an import by ordinal with the ordinal in hexadecimal and no name.
[[ $rexx == "00000007d <none>" ]] || fail "tavmor-launcher.exe imports from rexx.dll: '${rexx}'"
[[ $(dlls "$launcher" | grep -ci '^rexx\.dll$') == 1 ]] || fail "rexx.dll is not imported once"

exports=$("$objdump" -p "$standin")
grep -Eq '^Ordinal Base\s+125$' <<<"$exports" || fail "the stand-in's first ordinal is not 125"
grep -Eq '^\s*Export Address Table\s+00000001$' <<<"$exports" ||
  fail "the stand-in does not export exactly one entry"
grep -Eq '^\s*\[Name Pointer/Ordinal\] Table\s+00000000$' <<<"$exports" ||
  fail "the stand-in exports names"

exit "$failed"
