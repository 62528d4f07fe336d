#!/usr/bin/env bash
# A launcher file needs nothing installed but the C library, and takes none of its functions'
# places.
#
#   standalone_test.sh root LAUNCHER TOOL [PROGRAMS]
#                                             packs a script and runs it in a root directory that
#                                             holds only the file and what ldd lists (as root); and
#                                             the RexxUtil programs in PROGRAMS that need no
#                                             commands, which must print what regina prints here
#   standalone_test.sh symbols LAUNCHER       no global function of the launcher has the name of
#                                             one that the C library exports
# Exit status 77 means skipped.
set -euo pipefail
mode=$1
launcher=$2

case $mode in
root)
  tool=$3
  if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: chroot needs root"
    exit 77
  fi
  root=$(mktemp -d)
  trap 'rm -rf "$root"' EXIT
  if ldd "$launcher" | grep -q regina; then
    echo "the launcher still needs Regina's library:" >&2
    ldd "$launcher" >&2
    exit 1
  fi
  for lib in $(ldd "$launcher" | grep -o '/[^ ]*'); do
    mkdir -p "$root$(dirname "$lib")"
    cp -L "$lib" "$root$lib"
  done
  mkdir -m 1777 "$root/tmp"
  # No /etc/passwd in the root: userid(), which asks getpwuid, has no name to give.
  printf "parse version v\nsay v\nsay arg() arg(2)\nsay '['userid()']'\n" >"$root/script.rex"
  "$tool" pack "$root/script.rex" -o "$root/packed" --stub "$launcher" >/dev/null
  rm "$root/script.rex"
  out=$(cd / && chroot "$root" /packed alpha "two words")
  expected=$'REXX-Regina_3.6 5.00 31 Dec 2011\n2 two words\n[]'
  if [ "$(printf '%s\n' "$out" | tail -n 3)" != "$expected" ]; then
    printf 'unexpected output in the bare root:\n%s\n' "$out" >&2
    exit 1
  fi
  # RexxUtil comes with the launcher: each program prints in the bare root what regina, with
  # regutil installed, prints for it here, both in an empty folder of the same file system.
  # The same clock, locale and no terminal type for both: the listings show times and dates.
  plain=(env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C TZ=UTC)
  for name in loading stems files semaphores system; do
    program=${4:-/nonexistent}/$name.rex
    [ -f "$program" ] || continue
    program=$(realpath "$program")
    "$tool" pack "$program" -o "$root/$name" --stub "$launcher" >/dev/null
    mkdir "$root/direct-$name"
    expected=$(cd "$root/direct-$name" && "${plain[@]}" regina "$program" </dev/null 2>&1 || true)
    # The packed one runs in the root's own top folder, the only one a chroot starts in.
    out=$(cd / && "${plain[@]}" chroot "$root" "/$name" </dev/null 2>&1 | tail -n +4)
    if [ "$out" != "$expected" ]; then
      printf 'RexxUtil program %s differs in the bare root:\n' "$name" >&2
      diff <(printf '%s\n' "$expected") <(printf '%s\n' "$out") >&2 || true
      exit 1
    fi
  done
  echo "ran in a root with: $(cd "$root" && find . -type f | sort | tr '\n' ' ')"
  ;;
symbols)
  if ! nm "$launcher" >/dev/null 2>&1; then
    echo "skipped: the launcher has no symbol table (a release build)"
    exit 77
  fi
  libc=$(ldd "$launcher" | grep -o '/[^ ]*libc\.so[^ ]*' | head -n 1)
  clash=$(comm -12 \
    <(nm -D --defined-only "$libc" | awk '$2 ~ /[TWi]/ {sub(/@.*/, "", $3); print $3}' | sort -u) \
    <(nm --defined-only "$launcher" | awk '$2 ~ /[TW]/ {print $3}' | sort -u))
  if [ -n "$clash" ]; then
    echo "the launcher defines C library functions: $clash" >&2
    exit 1
  fi
  ;;
esac
