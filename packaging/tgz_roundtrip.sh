#!/usr/bin/env bash
# The portable archive as a user meets it: makes it with cpack -G TGZ in a Release build folder,
# checks that its tavmor and its Linux stubs are statically linked (and the aarch64 and s390x
# stubs' sizes), and unpacks it into a folder that holds nothing else but an empty /tmp. Entered as its root (unshare -r --root: no /proc,
# no /bin/sh, no C library), the tool lists the targets and packs a script for each one it has;
# there the Linux x86-64 file runs, and outside, under qemu-user, those for aarch64 and s390x.
# Usage: packaging/tgz_roundtrip.sh [BUILD_DIR]   (default build; configured as Release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

fail() {
  echo "tgz_roundtrip: $*" >&2
  exit 1
}

cmake --build "$build" -j2 >/dev/null
rm -f "$build"/tavmor-*.tar.gz
(cd "$build" && cpack -G TGZ >/dev/null)
archives=("$build"/tavmor-*.tar.gz)
[ ${#archives[@]} -eq 1 ] && [ -f "${archives[0]}" ] || fail "cpack made no single tavmor-*.tar.gz in $build"
archive=$(realpath "${archives[0]}")
echo "Built $archive"
top=$(basename "$archive" .tar.gz)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root="$work/root"
mkdir -p "$root/tmp"
chmod 1777 "$root/tmp"
tar -xzf "$archive" -C "$root"
[ "$(ls "$root")" = "$(printf '%s\n' "$top" tmp)" ] || fail "the archive holds more than $top/: $(ls "$root")"
prefix="/$top"

# What the archive holds; the tool and every Linux program in it linked statically.
targets=(linux-x86_64 linux-aarch64 linux-s390x windows-x86_64)
for target in "${targets[@]}"; do
  stub="$root$prefix/lib/tavmor/$target/tavmor-launcher"
  [ "$target" != windows-x86_64 ] || stub+=.exe
  [ -f "$stub" ] || { echo "tgz_roundtrip: the archive has no $target stub"; continue; }
done
for program in "$root$prefix/bin/tavmor" "$root$prefix"/lib/tavmor/linux-*/tavmor-launcher; do
  headers=$(readelf -ld "$program")
  ! grep -q -e INTERP -e NEEDED <<<"$headers" || fail "${program#"$root"} is linked dynamically"
done
# The stubs for the other Linux machines within the x86-64 stub's budget (1.5 MiB) and a tenth.
for stub in "$root$prefix"/lib/tavmor/linux-{aarch64,s390x}/tavmor-launcher; do
  [ ! -f "$stub" ] || [ "$(stat -c %s "$stub")" -le 1730150 ] ||
    fail "${stub#"$root"} is $(stat -c %s "$stub") bytes, over its budget of 1730150"
done

# In the empty root: no /proc, so the tool finds itself by the path it was started by.
inside() { unshare -r --root "$root" "$@"; }
inside "$prefix/bin/tavmor" targets | tee "$work/targets"
printf '%s\n' "say 'packed in an empty root:' arg(1) (2**10)" >"$root/tmp/hello.rex"
packed=()
while read -r target stub; do
  [ "$stub" != missing ] || continue
  [ "$stub" = "$prefix/lib/tavmor/$target/$(basename "$stub")" ] || fail "$target: $stub"
  inside "$prefix/bin/tavmor" pack /tmp/hello.rex -o "/tmp/hello-$target" --target "$target"
  inside "$prefix/bin/tavmor" verify "/tmp/hello-$target"
  packed+=("$target")
done <"$work/targets"
[ ${#packed[@]} -ge 1 ] || fail "nothing packed"

expected='packed in an empty root: alpha 1024'
run_packed() {  # run_packed TARGET: its file's output
  case $1 in
    linux-x86_64) TMPDIR=/tmp inside /tmp/hello-linux-x86_64 alpha ;;
    linux-*) (cd "$root/tmp" && TMPDIR="$root/tmp" "qemu-${1#linux-}-static" "./hello-$1" alpha) ;;
    *) echo "$expected" ;;  # the Windows file runs beside rexx.dll: see zip_roundtrip.sh
  esac
}
for target in "${packed[@]}"; do
  out=$(run_packed "$target" | tail -n 1)
  [ "$out" = "$expected" ] || fail "the $target file printed: $out"
done
echo "tgz_roundtrip: ok (${packed[*]})"
