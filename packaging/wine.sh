# Running Windows launcher files under Wine for the package round trips; sourced by them.
# Needs $work, a private folder that the caller removes (after wine_stop).

wine=${WINE:-/usr/lib/wine/wine64}
wineserver=${WINESERVER:-/usr/lib/wine/wineserver64}
export WINEPREFIX="$work/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine reads Unix file names in the locale's character set: UTF-8, whatever the caller had.
export LC_ALL=C.UTF-8

wine_path() { printf 'Z:%s' "${1//\//\\}"; }

# Wine's server keeps writing to its prefix for a moment after the last program ends.
wine_stop() { "$wineserver" -w 2>/dev/null || true; }

# wine_run_packed FILE.exe SCRIPT STANDIN: runs the launcher file FILE.exe from its folder with
# the stand-in rexx.dll beside it; fails unless the interpreter was handed SCRIPT (a file).
wine_run_packed() {
  local exe=$1 script=$2 standin=$3
  local dir log
  dir=$(dirname "$exe")
  log=$work/standin.log
  rm -f "$log"
  cp "$standin" "$dir/rexx.dll"
  (cd "$dir" && TAVMOR_STANDIN_LOG=$(wine_path "$log") "$wine" "./$(basename "$exe")" >/dev/null) ||
    { echo "$exe did not run under Wine" >&2; return 1; }
  local expected
  expected=$(od -An -tx1 -v "$script" | tr -d ' \n')
  grep -qx "program $expected" "$log" || { echo "$exe: the interpreter did not get the script" >&2; return 1; }
  rm -f "$dir/rexx.dll"
}
