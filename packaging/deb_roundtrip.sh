#!/usr/bin/env bash
# The .deb as a user meets it: builds it, installs it with apt, packs and runs a script with the
# installed tool, checks the file with it, and removes the package again.
# Usage: packaging/deb_roundtrip.sh [BUILD_DIR]   (default build-deb; needs root or sudo)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-deb}
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)

fail() {
  echo "deb_roundtrip: $*" >&2
  exit 1
}

if dpkg-query -W -f='${Status}' tavmor 2>/dev/null | grep -q "install ok installed"; then
  fail "a tavmor package is installed already; remove it first (apt-get remove tavmor)"
fi

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTAVMOR_BUILD_TESTS=OFF \
  -DTAVMOR_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j2 >/dev/null
rm -f "$build"/tavmor_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/tavmor_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single tavmor_*.deb in $build"
deb=$(realpath "${debs[0]}")
echo "Built $deb"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
grep -q 'libregina3' <<<"$depends" || fail "the package does not depend on libregina3"
contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/tavmor ./usr/bin/tavmor-launcher ./usr/share/man/man1/tavmor.1; do
  grep -q " $path\$" <<<"$contents" || fail "the package lacks $path"
done

work=$(mktemp -d)
cleanup() {
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get remove -y -qq tavmor >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "$deb" >/dev/null
[ "$(command -v tavmor)" = /usr/bin/tavmor ] || fail "tavmor is not /usr/bin/tavmor after installing"
tavmor --version

# The installed tool, its default stub (the installed launcher beside it), a script from stdin.
script="say 'installed and running:' arg(1)"
printf '%s\n' "$script" | (cd "$work" && tavmor pack - -o hello)
out=$(cd "$work" && TMPDIR="$work" ./hello alpha)
echo "$out"
grep -qx 'installed and running: alpha' <<<"$out" || fail "the packed script did not run"
tavmor verify "$work/hello"
[ "$(tavmor extract "$work/hello")" = "$script" ] || fail "extract did not give the script back"
man -w tavmor >/dev/null 2>&1 || [ -f /usr/share/man/man1/tavmor.1 ] || fail "no man page installed"

DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get remove -y -qq tavmor >/dev/null
[ ! -e /usr/bin/tavmor ] && [ ! -e /usr/bin/tavmor-launcher ] || fail "files left after removal"
echo "deb_roundtrip: ok"
