#!/usr/bin/env bash
# Makes the Windows release from the builds of the presets mingw-i686 and
# mingw-x86_64: for each bitness the folder dist/win32 (dist/win64), the
# archive dist/dorv-VERSION-win32.zip (win64) and the per-user installer
# dist/dorv-VERSION-win32.msi (win64). Stops with an error naming the file
# when any deliverable is missing; nothing is left out silently.
#   scripts/make-dist.sh [--no-msi]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

make_msi=1
case "${1:-}" in
"") ;;
--no-msi) make_msi=0 ;;
*)
  echo "usage: scripts/make-dist.sh [--no-msi]" >&2
  exit 2
  ;;
esac

version=$(sed -n 's/^project(dorv VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "make-dist: no version in CMakeLists.txt" >&2; exit 1; }

fail() {
  echo "make-dist: $*" >&2
  exit 1
}

# need FILE WHAT: the file must be there.
need() {
  [ -f "$1" ] || fail "missing $1 ($2)"
}

# The documents every archive carries; docs/*.md beyond these go along too.
documents="LICENSE CHANGELOG.md docs/api.md docs/excel.md docs/configuration.md docs/architecture.md docs/packaging.md"
for f in $documents examples/Dorv.bas examples/read_values.c examples/windorv.ini examples/dorv.ini client/include/dorv32.h; do
  need "$f" "part of every release"
done

command -v zip >/dev/null || fail "zip not found (scripts/install-deps.sh installs it)"

for pair in "win32 mingw-i686 i686" "win64 mingw-x86_64 x86_64"; do
  read -r bitness preset triple <<<"$pair"
  build="build/$preset"
  dist="dist/$bitness"
  built="client/dorv32.dll client/libdorv32.dll.a client/dorv32.lib addin/DORV32.XLL tools/dorv/dorv.exe"
  for f in $built; do
    need "$build/$f" "build it with: cmake --preset $preset && cmake --build --preset $preset"
  done

  rm -rf "$dist"
  mkdir -p "$dist/examples" "$dist/docs"
  for f in $built; do cp "$build/$f" "$dist/"; done
  # The build keeps its debug information; what ships does not need it.
  for f in dorv32.dll DORV32.XLL dorv.exe; do
    "$triple-w64-mingw32-strip" --strip-debug "$dist/$f"
  done
  cp client/include/dorv32.h examples/Dorv.bas LICENSE CHANGELOG.md "$dist/"
  cp examples/read_values.c examples/windorv.ini examples/dorv.ini "$dist/examples/"
  cp docs/*.md "$dist/docs/"

  # The archive unpacks into one folder named for the release.
  name="dorv-$version-$bitness"
  staging=$(mktemp -d)
  cp -r "$dist" "$staging/$name"
  rm -f "dist/$name.zip"
  (cd "$staging" && zip -q -r -X "$root/dist/$name.zip" "$name")
  rm -rf "$staging"
  echo "dist/$name.zip:"
  unzip -l "dist/$name.zip" | sed 's/^/  /'

  if [ "$make_msi" -eq 1 ]; then
    packaging/make-msi.sh "$dist" "$bitness" "dist/$name.msi"
    echo "dist/$name.msi: $(stat -c %s "dist/$name.msi") bytes"
  fi
done
