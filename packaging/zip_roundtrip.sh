#!/usr/bin/env bash
# The Windows .zip as a user meets it: makes it with cpack in a Windows build, unpacks it, packs
# a script with the tavmor.exe inside (under Wine, default stub beside it), and, when the build
# has the stand-in rexx.dll of its tests, runs the packed file and checks the script arrived.
# Usage: packaging/zip_roundtrip.sh [WINDOWS_BUILD_DIR]   (default build-windows, built already)
# STANDIN=path/rexx.dll names the stand-in when it is elsewhere.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build-windows}")
wine=${WINE:-/usr/lib/wine/wine64}
wineserver=${WINESERVER:-/usr/lib/wine/wineserver64}

fail() {
  echo "zip_roundtrip: $*" >&2
  exit 1
}

rm -f "$build"/tavmor-*-win64.zip
(cd "$build" && cpack -G ZIP >/dev/null)
zips=("$build"/tavmor-*-win64.zip)
[ ${#zips[@]} -eq 1 ] && [ -f "${zips[0]}" ] || fail "cpack made no single tavmor-*-win64.zip in $build"
echo "Built ${zips[0]}"
unzip -l "${zips[0]}"

work=$(mktemp -d)
cleanup() {
  # Wine's server keeps writing to its prefix for a moment after the last program ends.
  WINEPREFIX="$work/wine-prefix" "$wineserver" -w 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
unzip -q "${zips[0]}" -d "$work"
dir=$(echo "$work"/tavmor-*-win64)
for exe in tavmor.exe tavmor-launcher.exe; do
  [ -f "$dir/$exe" ] || fail "the zip lacks $exe"
done

export WINEPREFIX="$work/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
winepath() { echo "Z:${1//\//\\}"; }
script="say 'from the zip'"
printf '%s\r\n' "$script" >"$dir/hello.rex"
(cd "$dir" && "$wine" ./tavmor.exe pack hello.rex -o hello.exe) || fail "tavmor.exe pack failed"
(cd "$dir" && "$wine" ./tavmor.exe verify hello.exe) || fail "tavmor.exe verify failed"

standin=${STANDIN:-$build/tests/windows/standin/rexx.dll}
if [ ! -f "$standin" ]; then
  echo "zip_roundtrip: no stand-in rexx.dll in $build (tests off); not running the packed file"
  exit 0
fi
cp "$standin" "$dir/rexx.dll"
(cd "$dir" && TAVMOR_STANDIN_LOG=$(winepath "$work/log.txt") "$wine" ./hello.exe >/dev/null) ||
  fail "the packed file did not run"
expected=$(printf '%s\r\n' "$script" | od -An -tx1 -v | tr -d ' \n')
grep -qx "program $expected" "$work/log.txt" || fail "the interpreter did not get the script"
echo "zip_roundtrip: ok"
