#!/usr/bin/env bash
# A launcher file needs nothing installed, not even a C library, and takes none of the C
# library's function names.
#
#   standalone_test.sh static LAUNCHER          no loader, no needed library
#   standalone_test.sh root LAUNCHER TOOL [PROGRAMS]
#                                               packed scripts run in bare roots as regina runs
#                                               them in this one (as root: chroot), and so do
#                                               the RexxUtil programs in PROGRAMS that need no
#                                               commands
#   standalone_test.sh symbols FILE...          no global function in the launcher's own objects
#                                               and archives has a name the C library exports
#   standalone_test.sh overrides MAP WRAPPED REPLACED
#                                               in the program that the linker MAP (with --cref)
#                                               describes, each WRAPPED function's calls reach our
#                                               __wrap_ form, and each REPLACED SYMBOL=FILE is
#                                               defined by FILE (lists separated by semicolons)
# Exit status 77 means skipped.
set -euo pipefail
mode=$1
shift

fail() {
  printf '%s\n' "$@" >&2
  exit 1
}

case $mode in
static)
  launcher=$1
  if readelf -lW "$launcher" | grep -q INTERP; then fail "the launcher asks for a loader"; fi
  if readelf -dW "$launcher" | grep -q NEEDED; then fail "the launcher needs shared libraries"; fi
  file "$launcher" | grep -q "statically linked" || fail "file says: $(file "$launcher")"
  ;;
root)
  launcher=$1
  tool=$2
  programs=${3:-}
  if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: chroot needs root"
    exit 77
  fi
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  # regina here, the packed script in ROOT, in the same time zone; one more try when a second
  # turned between them.
  alike() {  # alike ROOT SCRIPT ARGS...
    local root=$1 script=$2
    shift 2
    printf '%s' "$script" >"$work/script.rex"
    "$tool" pack "$work/script.rex" -o "$root/packed" --stub "$launcher" >/dev/null
    local expected actual
    for _ in 1 2; do
      # Linked in, Regina is its single-threaded build, as in Debian's rexx.
      expected=$(cd / && TZ=UTC regina -a "$work/script.rex" "$@" | sed 's/(MT)//')
      actual=$(cd / && TZ=UTC chroot "$root" /packed "$@" | tail -n +4)
      [ "$expected" = "$actual" ] && return 0
    done
    fail "in a root with $(cd "$root" && find . -type f | sort | tr '\n' ' '):" \
      "regina printed:" "$expected" "packed, it printed:" "$actual"
  }

  # Nothing but the launcher file and a temp folder.
  empty=$work/empty
  mkdir -p "$empty" && mkdir -m 1777 "$empty/tmp"
  alike "$empty" "$(
    cat <<'REXX'
parse version v; say v
say arg() arg(2)
say date() date('S') date('W') date('B', '20260102', 'S') time('H')
say time('C', '13:45:10', 'N') date('U', 739617, 'B')
numeric digits 30; say 2 ** 100 / 7
push 'last'; queue 'first'; say queued(); pull a; say a
REXX
  )" alpha "two words"

  # The launcher file, /etc/passwd and the shell: users and commands as in this root.
  users=$work/users
  mkdir -p "$users/etc" && mkdir -m 1777 "$users/tmp"
  cp /etc/passwd "$users/etc/passwd"
  for file in /bin/sh $(ldd /bin/sh | grep -o '/[^ ]*'); do
    mkdir -p "$users$(dirname "$file")"
    cp -L "$file" "$users$file"
  done
  alike "$users" "$(
    cat <<'REXX'
say '['userid()']'
'echo from the shell'
say 'rc' rc
'exit 7'
say 'rc' rc
REXX
  )"

  # RexxUtil comes with the launcher: each program prints in the empty root what regina, with
  # regutil installed, prints for it here, both in an empty folder of the same file system.
  # The same clock, locale and no terminal type for both: the listings show times and dates.
  plain=(env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C TZ=UTC)
  for name in loading stems files semaphores system; do
    program=${programs:-/nonexistent}/$name.rex
    [ -f "$program" ] || continue
    program=$(realpath "$program")
    "$tool" pack "$program" -o "$empty/$name" --stub "$launcher" >/dev/null
    mkdir "$empty/direct-$name"
    expected=$(cd "$empty/direct-$name" && "${plain[@]}" regina "$program" </dev/null 2>&1 || true)
    # The packed one runs in the root's own top folder, the only one a chroot starts in.
    out=$(cd / && "${plain[@]}" chroot "$empty" "/$name" </dev/null 2>&1 | tail -n +4)
    if [ "$out" != "$expected" ]; then
      printf 'RexxUtil program %s differs in the empty root:\n' "$name" >&2
      diff <(printf '%s\n' "$expected") <(printf '%s\n' "$out") >&2 || true
      exit 1
    fi
  done
  echo "ran alike in an empty root and in one with only /etc/passwd and /bin/sh"
  ;;
overrides)
  map=$1
  [ -f "$map" ] || fail "no linker map: $map"
  table=$(sed -n '/^Cross Reference Table/,$p' "$map")
  # The files in SYMBOL's entry of the cross-reference table: its definition first, then each
  # file that refers to it.
  entry() {
    awk -v symbol="$1" '
      found && /^[^ ]/ { exit }
      index($0, symbol " ") == 1 { found = 1; $0 = substr($0, length(symbol) + 1) }
      found { sub(/^ +/, ""); print }' <<<"$table"
  }
  ours='libtavmor_|CMakeFiles/'
  for function in $(tr ';' ' ' <<<"$2"); do
    wrapper=$(entry "__wrap_$function")
    [ -n "$wrapper" ] || fail "__wrap_$function is not linked in: --wrap=$function binds nothing"
    defined_by=$(head -n 1 <<<"$wrapper")
    grep -Eq "$ours" <<<"$defined_by" || fail "__wrap_$function comes from $defined_by"
    [ "$(wc -l <<<"$wrapper")" -gt 1 ] || fail "nothing calls __wrap_$function"
    # Only the wrapper itself may still call the function by its own name (as __real_).
    direct=$(entry "$function" | tail -n +2 | grep -Fvx "$defined_by" | grep -E "$ours|libregina" || true)
    [ -z "$direct" ] || fail "$function is still called directly by: $direct"
  done
  for replaced in $(tr ';' ' ' <<<"$3"); do
    symbol=${replaced%=*}
    defined_by=$(entry "$symbol" | head -n 1)
    [[ $defined_by == *"/${replaced##*=}.o" ]] ||
      fail "$symbol comes from ${defined_by:-nowhere}, not ${replaced##*=}"
  done
  ;;
symbols)
  # CTest hands a list of objects over as one argument, separated by semicolons.
  mapfile -t files < <(printf '%s\n' "$@" | tr ';' '\n')
  libc=$(ldd /bin/sh | grep -o '/[^ ]*libc\.so[^ ]*' | head -n 1)
  clash=$(comm -12 \
    <(nm -D --defined-only "$libc" | awk '$2 ~ /[TWi]/ {sub(/@.*/, "", $3); print $3}' | sort -u) \
    <(nm --defined-only "${files[@]}" 2>/dev/null | awk '$2 ~ /[TW]/ {print $3}' | sort -u))
  if [ -n "$clash" ]; then fail "the launcher defines C library functions: $clash"; fi
  ;;
esac
