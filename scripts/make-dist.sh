#!/usr/bin/env bash
# Copies the Windows deliverables into dist/win32 and dist/win64.
set -u
cd "$(dirname "$0")/.."
for pair in "win32 mingw-i686 i686" "win64 mingw-x86_64 x86_64"; do
  set -- $pair
  dist="dist/$1"
  build="build/$2"
  strip="$3-w64-mingw32-strip"
  rm -rf "$dist"
  mkdir -p "$dist"
  for f in client/dorv32.dll client/libdorv32.dll.a addin/DORV32.XLL tools/dorv/dorv.exe; do
    [ -f "$build/$f" ] && cp "$build/$f" "$dist/"
  done
  # The build keeps its debug information; what ships does not need it.
  for f in dorv32.dll DORV32.XLL dorv.exe; do
    [ -f "$dist/$f" ] && "$strip" --strip-debug "$dist/$f"
  done
  cp client/include/dorv32.h "$dist/"
  [ -d examples ] && cp examples/* "$dist/" 2>/dev/null
  echo "$dist:"
  ls -l "$dist" | tail -n +2 | awk '{printf "  %-24s %8d bytes\n", $9, $5}'
done
