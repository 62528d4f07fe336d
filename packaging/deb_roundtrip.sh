#!/usr/bin/env bash
# The .deb as a user meets it. Builds it and checks what it holds and depends on; unpacks it into
# a folder whose path has a space and, with the tool in there, lists the targets, packs a script
# for each, runs the Linux files (those for aarch64 and s390x under qemu-user) and, under Wine
# with the stand-in rexx.dll, the Windows file;
# checks the bash completion against the tool. Then, unless a tavmor package is installed
# already (which is left alone), installs the .deb with apt, packs and runs a script with the
# installed tool and removes the package again.
# Usage: packaging/deb_roundtrip.sh [BUILD_DIR]   (default build-deb; installing needs root or sudo)
# STANDIN=path/rexx.dll names the stand-in (default: the one a Windows build's tests made in
# build-windows); without one the Windows file is packed but not run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build-deb}
standin=${STANDIN:-$root/build-windows/tests/windows/standin/rexx.dll}

fail() {
  echo "deb_roundtrip: $*" >&2
  exit 1
}

# As a plain configure does it: the Windows stub where MinGW-w64 is installed.
# A build folder made already (CI's Release build) keeps its tests and other stubs.
if [ -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTAVMOR_WINDOWS_STUB=AUTO \
    >"$build/configure.log"
else
  mkdir -p "$build"
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTAVMOR_BUILD_TESTS=OFF \
    -DTAVMOR_BUILD_BENCHMARKS=OFF -DTAVMOR_WINDOWS_STUB=AUTO >"$build/configure.log"
fi
cmake --build "$build" -j2 >/dev/null
rm -f "$build"/tavmor_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/tavmor_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single tavmor_*.deb in $build"
deb=$(realpath "${debs[0]}")
echo "Built $deb"

linux_stub=usr/lib/tavmor/linux-x86_64/tavmor-launcher
windows_stub=usr/lib/tavmor/windows-x86_64/tavmor-launcher.exe
contents=$(dpkg-deb -c "$deb")
for path in usr/bin/tavmor "$linux_stub" usr/share/man/man1/tavmor.1.gz \
  usr/share/doc/tavmor/changelog.gz usr/share/bash-completion/completions/tavmor; do
  grep -q " ./$path\$" <<<"$contents" || fail "the package lacks /$path"
done
# Debian's checks find nothing but the placeholder maintainer address.
if command -v lintian >/dev/null; then
  complaints=$(lintian "$deb" 2>&1 | grep -v -e bogus-mail-host -e "root privileges" || true)
  [ -z "$complaints" ] || fail "lintian: $complaints"
fi
has_windows=0
grep -q " ./$windows_stub\$" <<<"$contents" && has_windows=1
if command -v x86_64-w64-mingw32-g++-posix >/dev/null && [ $has_windows = 0 ]; then
  fail "MinGW-w64 is installed, but the package lacks /$windows_stub"
fi

work=$(mktemp -d)
unpacked="$work/un packed"
installed=0
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
cleanup() {
  wine_stop
  if [ $installed = 1 ]; then
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq tavmor >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
source packaging/wine.sh

# The package depends on the libraries its programs link, and on nothing else of ours.
dpkg-deb -x "$deb" "$unpacked"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
grep -q '\blibc6\b' <<<"$depends" || fail "the package does not depend on libc6"
if readelf -d "$unpacked/$linux_stub" | grep -q 'NEEDED.*libregina'; then
  grep -q '\blibregina3\b' <<<"$depends" || fail "the launcher links Regina, but the package does not depend on it"
else
  ! grep -q 'regina' <<<"$depends" || fail "the package depends on Regina, which nothing in it links"
fi

tool="$unpacked/usr/bin/tavmor"
"$tool" targets | tee "$work/targets"
expected="linux-x86_64    $unpacked/$linux_stub"
# The other Linux machines' stubs: there wherever their compiler and Regina are.
cross=()
for target in linux-aarch64 linux-s390x; do
  if [ -f "$unpacked/usr/lib/tavmor/$target/tavmor-launcher" ]; then
    cross+=("$target")
    expected+=$'\n'"$(printf '%-16s' "$target")$unpacked/usr/lib/tavmor/$target/tavmor-launcher"
  else
    grep -q "The $target launcher stub is not built" "$build/configure.log" ||
      fail "the package lacks the $target stub, and the configure did not say why"
    expected+=$'\n'"$(printf '%-16s' "$target")missing"
  fi
done
if [ $has_windows = 1 ]; then
  expected+=$'\n'"windows-x86_64  $unpacked/$windows_stub"
else
  expected+=$'\n'"windows-x86_64  missing"
fi
[ "$(cat "$work/targets")" = "$expected" ] || fail "tavmor targets from the unpacked package: expected
$expected"

# Packing for each target with the unpacked tool; the default is Linux.
script="say 'unpacked and running:' arg(1)"
printf '%s\n' "$script" >"$work/hello.rex"
"$tool" pack "$work/hello.rex" -o "$work/hello" --target linux-x86_64
"$tool" pack "$work/hello.rex" -o "$work/default"
cmp "$work/hello" "$work/default" || fail "the default target is not linux-x86_64"
out=$(cd "$work" && TMPDIR="$work" ./hello alpha)
grep -qx 'unpacked and running: alpha' <<<"$out" || fail "the Linux file did not run: $out"
"$tool" verify "$work/hello"
for target in "${cross[@]}"; do
  "$tool" pack "$work/hello.rex" -o "$work/hello-$target" --target "$target"
  "$tool" verify "$work/hello-$target"
  qemu=qemu-${target#linux-}-static
  if command -v "$qemu" >/dev/null; then
    out=$(cd "$work" && TMPDIR="$work" "$qemu" "./hello-$target" alpha)
    grep -qx 'unpacked and running: alpha' <<<"$out" || fail "the $target file did not run: $out"
    echo "The $target file ran under $qemu"
  fi
done
if [ $has_windows = 1 ]; then
  mkdir "$work/windows"
  printf '%s\r\n' "$script" >"$work/hello-crlf.rex"
  "$tool" pack "$work/hello-crlf.rex" -o "$work/windows/hello.exe" --target windows-x86_64
  "$tool" verify "$work/windows/hello.exe"
  if [ -f "$standin" ]; then
    wine_run_packed "$work/windows/hello.exe" "$work/hello-crlf.rex" "$standin" ||
      fail "the Windows file did not run under Wine"
    echo "The Windows file ran under Wine"
  else
    echo "deb_roundtrip: no stand-in rexx.dll at $standin; not running the Windows file"
  fi
fi

# The completion offers the verbs of 'tavmor --help', the options of 'tavmor pack --help' and
# the targets of 'tavmor targets'.
completions() {  # completions WORD... (the last one is being completed)
  (
    source "$unpacked/usr/share/bash-completion/completions/tavmor"
    COMP_WORDS=(tavmor "$@")
    COMP_CWORD=$#
    _tavmor
    printf '%s\n' "${COMPREPLY[@]}" | sort
  )
}
verbs=$("$tool" --help | awk '/^Commands:/ { on = 1; next } /^$/ { on = 0 } on && /^  [a-z]/ { print $1 }' | sort)
[ "$(completions '' | grep -v '^-')" = "$verbs" ] || fail "the completion's verbs differ from tavmor --help"
options=$("$tool" pack --help | grep -o -- '--[a-z][a-z-]*[a-z]' | sort -u)
[ "$(completions pack x.rex -)" = "$options" ] || fail "the completion's pack options differ from tavmor pack --help"
[ "$(completions pack x.rex --target '')" = "$(awk '{ print $1 }' "$work/targets" | sort)" ] ||
  fail "the completion's targets differ from tavmor targets"

if dpkg-query -W -f='${Status}' tavmor 2>/dev/null | grep -q "install ok installed"; then
  echo "deb_roundtrip: a tavmor package is installed; leaving it alone and not installing this one"
  echo "deb_roundtrip: ok"
  exit 0
fi
if [ ${#sudo[@]} -gt 0 ] && ! command -v sudo >/dev/null; then
  echo "deb_roundtrip: neither root nor sudo; not installing the package"
  echo "deb_roundtrip: ok"
  exit 0
fi
installed=1
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
[ "$(command -v tavmor)" = /usr/bin/tavmor ] || fail "tavmor is not /usr/bin/tavmor after installing"
tavmor --version
tavmor targets | grep -qx "linux-x86_64    /$linux_stub" || fail "the installed tool does not find its stub"
printf '%s\n' "$script" | (cd "$work" && tavmor pack - -o installed)
out=$(cd "$work" && TMPDIR="$work" ./installed beta)
grep -qx 'unpacked and running: beta' <<<"$out" || fail "the file packed by the installed tool did not run"
[ "$(tavmor extract "$work/installed")" = "$script" ] || fail "extract did not give the script back"
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq tavmor >/dev/null
installed=0
[ ! -e /usr/bin/tavmor ] && [ ! -e /usr/lib/tavmor ] || fail "files left after removal"
echo "deb_roundtrip: ok"
