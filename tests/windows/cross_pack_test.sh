#!/usr/bin/env bash
# Cross-packaging: the Linux tavmor packs a Windows launcher file byte for byte as tavmor.exe
# does, with an icon and version information too, and the file runs under Wine with the stand-in
# interpreter beside it.
# Usage: cross_pack_test.sh HOST_TAVMOR LAUNCHER.exe TAVMOR.exe STANDIN.dll WINE
set -euo pipefail
host_tool=$1 launcher=$2 tool=$3 standin=$4 wine=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
winpath() { printf 'Z:%s' "${1//\//\\}"; }

printf "say 'cross'\r\nexit 3\r\n" >"$work/report.rex"
"$host_tool" pack "$work/report.rex" -o "$work/linux.exe" --stub "$launcher"
"$wine" "$tool" pack "$(winpath "$work/report.rex")" -o "$(winpath "$work/windows.exe")" \
  --stub "$(winpath "$launcher")"
cmp "$work/linux.exe" "$work/windows.exe"

# An icon of one 16x16 bitmap: the directory, then a BITMAPINFOHEADER and blank pixels and mask.
{
  printf '\0\0\1\0\1\0\20\20\0\0\1\0\40\0\150\4\0\0\26\0\0\0'
  printf '\50\0\0\0\20\0\0\0\40\0\0\0\1\0\40\0'
  head -c 1112 /dev/zero
} >"$work/app.ico"
# The file's name is its OriginalFilename: the same name, in two folders.
mkdir "$work/linux" "$work/windows"
"$host_tool" pack "$work/report.rex" -o "$work/linux/report.exe" --stub "$launcher" \
  --windows-icon "$work/app.ico" --windows-version 1.2.3.4 --windows-title Report
"$wine" "$tool" pack "$(winpath "$work/report.rex")" -o "$(winpath "$work/windows/report.exe")" \
  --stub "$(winpath "$launcher")" --windows-icon "$(winpath "$work/app.ico")" \
  --windows-version 1.2.3.4 --windows-title Report
cmp "$work/linux/report.exe" "$work/windows/report.exe"
"$host_tool" inspect "$work/linux/report.exe" | grep -qx 'icon  *1 image: 16x16 32-bit' ||
  { echo "FAIL: no icon" >&2; exit 1; }
cp "$work/linux/report.exe" "$work/linux.exe"

cp "$standin" "$work/rexx.dll"
status=0
out=$(cd "$work" && TAVMOR_STANDIN_LOG="$(winpath "$work/calls.log")" "$wine" linux.exe alpha) ||
  status=$?
[[ $status == 0 ]] || { echo "FAIL: status $status" >&2; exit 1; }
[[ $out == "Tavmor Launcher, ver. 250515"* ]] || { echo "FAIL: no banner: $out" >&2; exit 1; }
script_hex=$(od -An -v -tx1 "$work/report.rex" | tr -d ' \n')
grep -qx "program $script_hex" "$work/calls.log" || { echo "FAIL: calls:" >&2; cat "$work/calls.log" >&2; exit 1; }
grep -qx "newString $(printf alpha | od -An -tx1 | tr -d ' \n') S2" "$work/calls.log" ||
  { echo "FAIL: argument not passed" >&2; exit 1; }
echo "cross-packed launcher file runs"
