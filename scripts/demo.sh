#!/usr/bin/env bash
# The main job on a fresh machine: installs what it needs, builds the
# deliverables into dist/win32 and dist/win64 (and the Linux build), starts the
# reference server on its sample database, runs the command-line client
# against it, and stops the server again.
set -u
cd "$(dirname "$0")/.."
scripts/install-deps.sh || exit 1

for preset in native mingw-i686 mingw-x86_64; do
  echo "=== build $preset"
  { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j2; } >"build-$preset.log" 2>&1 ||
    { tail -30 "build-$preset.log"; echo "build of $preset failed"; exit 1; }
done

scripts/make-dist.sh || exit 1

if [ -x build/native/server/dorvd ] && [ -x build/native/tools/dorv/dorv ]; then
  scripts/run-demo.sh
else
  echo "(the reference server and the command-line client are not built yet)"
fi
