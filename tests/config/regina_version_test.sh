#!/usr/bin/env bash
# Configuring against a libregina.a of another version than the one the launcher hands programs
# to stops, naming what was found and what is supported.
#   regina_version_test.sh SOURCE_DIR LIBREGINA_A
set -euo pipefail
source_dir=$1
archive=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sed 's/REXX-Regina_3\.6 /REXX-Regina_3.9 /g' "$archive" >"$work/libregina.a"
if cmake -S "$source_dir" -B "$work/build" -DREGINA_STATIC_LIBRARY="$work/libregina.a" \
  -DTAVMOR_BUILD_TESTS=OFF -DTAVMOR_BUILD_BENCHMARKS=OFF -DTAVMOR_WINDOWS_STUB=OFF \
  >"$work/log" 2>&1; then
  echo "configuring against Regina 3.9 succeeded" >&2
  exit 1
fi
message=$(tr -s ' \n' ' ' <"$work/log")
for expected in "is REXX-Regina_3.9" "links only Regina 3.6 in"; do
  if [[ $message != *"$expected"* ]]; then
    cat "$work/log" >&2
    exit 1
  fi
done
