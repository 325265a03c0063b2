#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine.
# 32-bit wine (wine32:i386) is tried too; when the archive cannot give it
# today, this says so in one line and goes on.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

packages="cmake ninja-build g++ libsqlite3-dev googletest libgtest-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 xvfb xauth"
# The release: dorv32.lib and the Visual C++-style link (llvm, clang, lld),
# the zips, the installers (wixl), the Linux package test (pkg-config).
# The fuzz targets: clang's libFuzzer and sanitizer runtimes (only recommended
# by clang, so named).
packages="$packages llvm clang lld libclang-rt-dev zip unzip wixl pkg-config ccache"
# dorvd's PostgreSQL backend (libpq) and the throw-away cluster its tests use.
packages="$packages libpq-dev postgresql"
missing=""
for p in $packages; do dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"; done
if [ -n "$missing" ]; then
  $SUDO apt-get update -qq || echo "install-deps: apt-get update reported errors; trying to install anyway"
  $SUDO apt-get install -y -qq $missing >/dev/null || { echo "install-deps: could not install:$missing" >&2; exit 1; }
fi

if [ ! -x /usr/lib/wine/wine ]; then
  $SUDO dpkg --add-architecture i386
  $SUDO apt-get update -qq >/dev/null 2>&1 || true
  if ! $SUDO apt-get install -y -qq wine32:i386 >/dev/null 2>&1; then
    echo "install-deps: wine32:i386 cannot be installed today; the 32-bit Windows tests will be built but not run"
  fi
fi
exit 0
