#!/usr/bin/env bash
# The Windows .zip as a user meets it: makes it with cpack in a Windows build, unpacks it into a
# folder whose path has a space, lists the targets with the bin/tavmor.exe inside (under Wine),
# packs a script for Windows, the default, and runs it with the stand-in rexx.dll beside it;
# packs one for Linux when the zip holds the Linux stub (a build given TAVMOR_LINUX_STUB) and
# runs that here.
# Usage: packaging/zip_roundtrip.sh [WINDOWS_BUILD_DIR]   (default build-windows, built already)
# STANDIN=path/rexx.dll names the stand-in when it is elsewhere than the build's tests put it.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build-windows}")
standin=${STANDIN:-$build/tests/windows/standin/rexx.dll}

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
  wine_stop
  rm -rf "$work"
}
trap cleanup EXIT
source packaging/wine.sh
mkdir "$work/un zipped"
unzip -q "${zips[0]}" -d "$work/un zipped"
dir=$(echo "$work/un zipped"/tavmor-*-win64)
windows_stub=lib/tavmor/windows-x86_64/tavmor-launcher.exe
linux_stub=lib/tavmor/linux-x86_64/tavmor-launcher
for file in bin/tavmor.exe "$windows_stub"; do
  [ -f "$dir/$file" ] || fail "the zip lacks $file"
done
has_linux=0
[ -f "$dir/$linux_stub" ] && has_linux=1

tool() { "$wine" "$dir/bin/tavmor.exe" "$@"; }
tool targets | tr -d '\r' | tee "$work/targets"
expected="linux-x86_64    missing"
[ $has_linux = 1 ] && expected="linux-x86_64    $(wine_path "$dir/$linux_stub")"
# The Windows build ships no stub for Linux on aarch64 or s390x.
expected+=$'\n'"linux-aarch64   missing"$'\n'"linux-s390x     missing"
expected+=$'\n'"windows-x86_64  $(wine_path "$dir/$windows_stub")"
[ "$(cat "$work/targets")" = "$expected" ] || fail "tavmor.exe targets: expected
$expected"

script="say 'from the zip:' arg(1)"
printf '%s\r\n' "$script" >"$work/hello.rex"
mkdir "$work/windows"
tool pack "$(wine_path "$work/hello.rex")" -o "$(wine_path "$work/windows/hello.exe")" ||
  fail "tavmor.exe pack failed"
tool verify "$(wine_path "$work/windows/hello.exe")" || fail "tavmor.exe verify failed"
if [ -f "$standin" ]; then
  wine_run_packed "$work/windows/hello.exe" "$work/hello.rex" "$standin" ||
    fail "the Windows file did not run"
  echo "The Windows file ran under Wine"
else
  echo "zip_roundtrip: no stand-in rexx.dll at $standin; not running the Windows file"
fi

if [ $has_linux = 1 ]; then
  printf '%s\n' "$script" >"$work/hello-lf.rex"
  tool pack "$(wine_path "$work/hello-lf.rex")" -o "$(wine_path "$work/hello")" --target linux-x86_64 ||
    fail "tavmor.exe pack --target linux-x86_64 failed"
  # Windows has no execute permission to give: a Linux file packed there needs chmod +x.
  chmod +x "$work/hello"
  out=$(cd "$work" && TMPDIR="$work" ./hello alpha)
  grep -qx 'from the zip: alpha' <<<"$out" || fail "the Linux file did not run: $out"
  echo "The Linux file packed by tavmor.exe ran here"
fi
echo "zip_roundtrip: ok"
