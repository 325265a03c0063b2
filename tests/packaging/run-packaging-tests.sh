#!/usr/bin/env bash
# Proves the release the way its users meet it, after the presets native,
# mingw-i686 and mingw-x86_64 are built:
#   - scripts/make-dist.sh makes both zips and installers, and refuses to when
#     a deliverable is missing;
#   - the zips hold what they must, with binaries of the right bitness;
#   - the example program, built from an unpacked zip with MinGW and with
#     clang + lld-link against dorv32.lib (Visual C++ style), runs under wine
#     against dorvd and prints the sample rows, or the server's explanation;
#   - the installers install, repair, upgrade and uninstall under wine,
#     registering the add-in for Excel without touching an add-in registered
#     before, and keeping its place on an upgrade;
#   - the Linux installation: versioned soname, find_package(dorv CONFIG) from
#     a downstream project, pkg-config, the installed programs.
# Ends with "N passed, N failed"; exits non-zero when anything failed.
#   tests/packaging/run-packaging-tests.sh [--no-make-dist]
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
cd "$root" || exit 1

run_make_dist=1
[ "${1:-}" = "--no-make-dist" ] && run_make_dist=0

version=$(sed -n 's/^project(dorv VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
work=$root/build/packaging-tests
rm -rf "$work/run"
mkdir -p "$work/run"
run=$work/run

passed=0
failed=0
# check NAME COMMAND...: one proof; its output is kept and shown when it fails.
check() {
  local name=$1 log
  shift
  log="$run/$(echo "$name" | tr -c 'A-Za-z0-9' '_').log"
  if "$@" >"$log" 2>&1; then
    echo "PASS: $name"
    passed=$((passed + 1))
  else
    echo "FAIL: $name"
    sed 's/^/    /' "$log" | tail -30
    failed=$((failed + 1))
  fi
}
skip() {
  echo "SKIPPED: $1"
}

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)
wine32=/usr/lib/wine/wine
xrun() {
  timeout 300 "$@"
}
# wine_of BITNESS: the wine that runs programs of that bitness, or nothing.
# 32-bit wine needs wine32:i386 and a kernel that runs 32-bit programs.
wine32_runs=0
"$wine32" --version >/dev/null 2>&1 && wine32_runs=1
wine_of() {
  if [ "$1" = win64 ]; then echo "$wine64"; elif [ "$wine32_runs" -eq 1 ]; then echo "$wine32"; fi
}
# A prefix of each bitness for the example programs, kept between runs.
prefix_of() {
  echo "$work/wineprefix-$1"
}
winpath() {
  echo "Z:$1" | tr / '\\'
}

# --- The reference server, for every program below -------------------------
dorvd=$root/build/native/server/dorvd
port=""
dorvd_pid=""
xvfb_pid=""
wine_prefixes=""
cleanup() {
  [ -n "$dorvd_pid" ] && kill "$dorvd_pid" 2>/dev/null
  for p in $wine_prefixes; do WINEPREFIX=$p wineserver -k 2>/dev/null; done
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT
# One X display for all Windows programs of this run, when the caller has none.
if [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null 2>&1; then
  display_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 1 100); do [ -s "$display_file" ] && break; sleep 0.1; done
  [ -s "$display_file" ] && export DISPLAY=":$(head -n 1 "$display_file")"
  rm -f "$display_file"
fi
# keep_wineserver PREFIX: one wine server for the prefix until the run ends,
# instead of one per program (seconds each).
# A 32-bit prefix needs WINEARCH=win32 in the server's environment too: a
# server started without it makes the new prefix a 64-bit one, which 32-bit
# wine then refuses. A prefix of the other architecture (an older run's) is
# made anew.
keep_wineserver() { # PREFIX [win32]
  case " $wine_prefixes " in *" $1 "*) return ;; esac
  if [ "${2:-}" = win32 ] && grep -qs '^#arch=win64' "$1/system.reg"; then
    rm -rf "$1"
  elif [ "${2:-}" != win32 ] && grep -qs '^#arch=win32' "$1/system.reg"; then
    rm -rf "$1"
  fi
  mkdir -p "$1"
  if [ "${2:-}" = win32 ]; then
    WINEARCH=win32 WINEPREFIX=$1 wineserver -p
  else
    WINEPREFIX=$1 wineserver -p
  fi && wine_prefixes="$wine_prefixes $1"
}
if [ -x "$dorvd" ]; then
  # shellcheck source=../../scripts/lib/dorvd.sh
  . "$root/scripts/lib/dorvd.sh"
  start_dorvd "$dorvd" "$run/data" "$run/dorvd.log" || port=""
fi
connection_file=$run/dorv.ini
printf '[Global]\nTransport=WINSOCK\nServer=127.0.0.1\nService=%s\n\n[sample]\nDatabase=sample\n' "$port" >"$connection_file"

# The example's output, in UTF-8 and without carriage returns, is the sample.
rows_match() { # output-file
  iconv -f CP1252 -t UTF-8 "$1" | tr -d '\r' | diff -u "$here/customers.expected" -
}
# run_example NAME PROGRAM...: the default query prints exactly the sample rows.
run_example() { # wine|native PROGRAM...
  local mode=$1
  shift
  "$@" "$(connection_arg "$mode")" sample >"$run/out.txt" 2>"$run/err.txt" || {
    cat "$run/err.txt"
    return 1
  }
  rows_match "$run/out.txt"
}
# A failing statement: exit code 1 and the server's explanation.
run_example_failing() { # wine|native PROGRAM...
  local rc=0 mode=$1
  shift
  "$@" "$(connection_arg "$mode")" sample "select * from no_such_table" >"$run/out.txt" 2>"$run/err.txt" || rc=$?
  cat "$run/err.txt"
  [ "$rc" -eq 1 ] && grep -q "the server explains: no such table: no_such_table" "$run/err.txt"
}
connection_arg() {
  if [ "$1" = wine ]; then winpath "$connection_file"; else echo "$connection_file"; fi
}
in_wine() { # BITNESS PROGRAM ARGS...
  local bitness=$1
  shift
  keep_wineserver "$(prefix_of "$bitness")" "$bitness"
  if [ "$bitness" = win32 ]; then
    WINEARCH=win32 WINEPREFIX=$(prefix_of "$bitness") xrun "$(wine_of "$bitness")" "$@"
  else
    WINEPREFIX=$(prefix_of "$bitness") xrun "$(wine_of "$bitness")" "$@"
  fi
}

# --- 1. The release ---------------------------------------------------------
make_dist_refuses_missing() {
  # A copy of what make-dist reads, with one document and one built file gone.
  local copy=$run/dist-copy
  mkdir -p "$copy"
  cp -r scripts packaging examples client CMakeLists.txt "$copy/"
  mkdir -p "$copy/docs"
  for f in LICENSE CHANGELOG.md; do [ -f "$f" ] && cp "$f" "$copy/"; done
  cp docs/*.md "$copy/docs/" 2>/dev/null
  for preset in mingw-i686 mingw-x86_64; do
    for f in client/dorv32.dll client/libdorv32.dll.a client/dorv32.lib addin/DORV32.XLL tools/dorv/dorv.exe; do
      mkdir -p "$copy/build/$preset/$(dirname "$f")"
      [ -f "build/$preset/$f" ] && cp "build/$preset/$f" "$copy/build/$preset/$f"
    done
  done
  local rc=0
  rm -f "$copy/docs/excel.md"
  "$copy/scripts/make-dist.sh" --no-msi >"$run/missing-doc.txt" 2>&1 || rc=$?
  cat "$run/missing-doc.txt"
  [ "$rc" -ne 0 ] && grep -q "missing docs/excel.md" "$run/missing-doc.txt" || return 1
  # Documents complete again (placeholders in the copy only), a library gone.
  for f in LICENSE CHANGELOG.md docs/api.md docs/excel.md docs/configuration.md docs/architecture.md docs/packaging.md; do
    [ -f "$copy/$f" ] || echo placeholder >"$copy/$f"
  done
  rm -f "$copy/build/mingw-x86_64/client/dorv32.lib"
  rc=0
  "$copy/scripts/make-dist.sh" --no-msi >"$run/missing-lib.txt" 2>&1 || rc=$?
  cat "$run/missing-lib.txt"
  [ "$rc" -ne 0 ] && grep -q "missing build/mingw-x86_64/client/dorv32.lib" "$run/missing-lib.txt" &&
    [ ! -f "$copy/dist/dorv-$version-win64.zip" ]
}
check "make-dist stops, naming the file, when a document or a library is missing" make_dist_refuses_missing

dist_ok=0
if [ "$run_make_dist" -eq 1 ]; then
  check "make-dist makes both zips and both installers" \
    bash -c "scripts/make-dist.sh && test -f dist/dorv-$version-win32.zip -a -f dist/dorv-$version-win64.zip -a -f dist/dorv-$version-win32.msi -a -f dist/dorv-$version-win64.msi"
fi
[ -f "dist/dorv-$version-win32.zip" ] && [ -f "dist/dorv-$version-win64.zip" ] && dist_ok=1

# The exact contents of a zip: every deliverable, nothing else.
zip_contents() { # BITNESS
  local name="dorv-$version-$1" expected actual
  expected=$(
    for f in dorv32.dll DORV32.XLL dorv.exe dorv32.h libdorv32.dll.a dorv32.lib Dorv.bas LICENSE CHANGELOG.md \
      examples/read_values.c examples/windorv.ini examples/dorv.ini; do echo "$name/$f"; done
    for f in docs/*.md; do echo "$name/$f"; done
  )
  actual=$(unzip -Z1 "dist/$name.zip" | grep -v '/$')
  diff -u <(echo "$expected" | LC_ALL=C sort) <(echo "$actual" | LC_ALL=C sort)
}
# The binaries in a zip are of its bitness (PE machine), and the import
# libraries name that machine too.
zip_bitness() { # BITNESS
  local name="dorv-$version-$1" dir=$run/unzipped-$1 want lib_want f
  [ "$1" = win64 ] && want="pei-x86-64" lib_want="x86-64" || { want="pei-i386"; lib_want="i386"; }
  for f in dorv32.dll DORV32.XLL dorv.exe; do
    objdump -f "$dir/$name/$f" | grep -q "file format $want" || { echo "$f is not $want"; return 1; }
  done
  llvm-objdump -a "$dir/$name/dorv32.lib" >/dev/null || return 1
  llvm-nm "$dir/$name/dorv32.lib" >/dev/null || return 1
  objdump -f "$dir/$name/libdorv32.dll.a" | grep -q "$lib_want" || { echo "libdorv32.dll.a is not $lib_want"; return 1; }
}
for bitness in win32 win64; do
  if [ "$dist_ok" -eq 1 ]; then
    rm -rf "$run/unzipped-$bitness"
    mkdir -p "$run/unzipped-$bitness"
    unzip -q "dist/dorv-$version-$bitness.zip" -d "$run/unzipped-$bitness"
    check "$bitness zip holds exactly the deliverables" zip_contents "$bitness"
    check "$bitness zip's binaries are $bitness" zip_bitness "$bitness"
  else
    echo "FAIL: $bitness zip: not made"
    failed=$((failed + 1))
  fi
done

# --- 2. The example from the zips, MinGW and Visual C++ style ---------------
# dorv32.lib carries the names a Visual C++ object refers to, each importing
# the plain export: 32-bit __imp__hl_connect@16, 64-bit __imp_hl_connect.
implib_names() { # BITNESS
  local lib=$run/unzipped-$1/dorv-$version-$1/dorv32.lib name bytes symbol missing=0
  while read -r name bytes; do
    [ "$1" = win32 ] && symbol="__imp__$name@$bytes" || symbol="__imp_$name"
    llvm-nm "$lib" | grep -q " $symbol\$" || { echo "dorv32.lib lacks $symbol"; missing=1; }
  done < <(sed -n 's/^ *\([a-z_]*\) = [a-z_]*@\([0-9]*\) @[0-9]*$/\1 \2/p' client/dorv32.def)
  [ "$(sed -n '/@[0-9]* @[0-9]*$/p' client/dorv32.def | wc -l)" -eq 18 ] && [ "$missing" -eq 0 ]
}
# clang for the Visual C++ ABI, the few msvcrt declarations from a shim
# header, lld-link against dorv32.lib and an msvcrt.dll import library;
# SafeSEH for 32-bit.
msvc_build() { # BITNESS
  local dir=$run/unzipped-$1/dorv-$version-$1 target machine safeseh=""
  if [ "$1" = win32 ]; then target=i686-pc-windows-msvc machine=i386 safeseh=/safeseh; else target=x86_64-pc-windows-msvc machine=i386:x86-64; fi
  local out=$run/msvc-$1
  mkdir -p "$out"
  llvm-dlltool -m "$machine" -d "$here/msvc/msvcrt.def" -l "$out/msvcrt.lib" &&
    clang --target=$target -nostdlibinc -isystem "$here/msvc/include" -I"$dir" -O1 -Wall -Wextra -Werror \
      -c "$dir/examples/read_values.c" -o "$out/read_values.obj" &&
    clang --target=$target -nostdlibinc -O1 -Wall -Wextra -Werror -c "$here/msvc/crt_start.c" -o "$out/crt_start.obj" &&
    lld-link /nologo $safeseh /nodefaultlib /subsystem:console /entry:mainCRTStartup \
      /out:"$dir/read_values_msvc.exe" "$out/read_values.obj" "$out/crt_start.obj" "$dir/dorv32.lib" "$out/msvcrt.lib" || return 1
  # The program imports the library's plain names, as VBA and the add-in do.
  llvm-objdump -p "$dir/read_values_msvc.exe" >"$out/imports.txt"
  cat "$out/imports.txt" | sed -n '/DLL Name: dorv32.dll/,/^$/p'
  sed -n '/DLL Name: dorv32.dll/,/^$/p' "$out/imports.txt" | grep -qE "^ +[0-9]+ +hl_connect_ini$" &&
    ! sed -n '/DLL Name: dorv32.dll/,/^$/p' "$out/imports.txt" | grep -q "@"
}
mingw_build() { # BITNESS
  local dir=$run/unzipped-$1/dorv-$version-$1 triple
  [ "$1" = win32 ] && triple=i686-w64-mingw32 || triple=x86_64-w64-mingw32
  "$triple-gcc" -std=c99 -Wall -Wextra -Werror -static-libgcc -I"$dir" "$dir/examples/read_values.c" \
    "$dir/libdorv32.dll.a" -o "$dir/read_values_mingw.exe"
}
for bitness in win32 win64; do
  [ "$dist_ok" -eq 1 ] || continue
  dir=$run/unzipped-$bitness/dorv-$version-$bitness
  check "$bitness dorv32.lib has the Visual C++ names of all 18 exports" implib_names "$bitness"
  check "$bitness example builds with clang and lld-link against dorv32.lib" msvc_build "$bitness"
  check "$bitness example builds with MinGW against libdorv32.dll.a" mingw_build "$bitness"
  if [ -z "$(wine_of "$bitness")" ]; then
    skip "$bitness examples under wine: 32-bit wine does not run on this machine (wine32:i386 missing, or a kernel without 32-bit support)"
    continue
  fi
  if [ -z "$port" ]; then
    echo "FAIL: $bitness examples under wine: dorvd is not running (build the native preset)"
    failed=$((failed + 1))
    continue
  fi
  for style in msvc mingw; do
    [ -f "$dir/read_values_$style.exe" ] || continue
    check "$bitness $style-built example prints the sample rows under wine" \
      run_example "wine" in_wine "$bitness" "$dir/read_values_$style.exe"
    check "$bitness $style-built example prints the server's explanation of a failure" \
      run_example_failing "wine" in_wine "$bitness" "$dir/read_values_$style.exe"
  done
done

# --- 3. The installers ------------------------------------------------------
options_key='HKCU\Software\Microsoft\Office\16.0\Excel\Options'
msi_prefix=$work/wineprefix-msi
rm -rf "$msi_prefix" # a fresh profile: nothing installed, no add-in registered
user=$(id -un)
in_msi_prefix() {
  keep_wineserver "$msi_prefix"
  WINEPREFIX=$msi_prefix xrun "$wine64" "$@"
}
# read_options STEP: reads Excel's options key once for this step into
# $options and shows its OPEN values. A failed read is a failure of its own,
# never taken for a changed value: the key always holds the marker value
# that each round writes first.
options=""
read_options() {
  local out
  if ! out=$(in_msi_prefix reg query "$options_key" 2>&1); then
    echo "$1: reg query $options_key failed: $(echo "$out" | tr -d '\r' | head -3)"
    return 1
  fi
  options=$(echo "$out" | tr -d '\r')
  echo "$1: OPEN = '$(opt OPEN)', OPEN1 = '$(opt OPEN1)', OPEN2 = '$(opt OPEN2)'"
}
opt() { # NAME: the value's data in the last read_options, or nothing
  echo "$options" | sed -n "s/^ *$1 *REG_SZ *//p"
}
install_dir_of() { # BITNESS: the Linux path of %LOCALAPPDATA%\Dorv\BITNESS
  echo "$msi_prefix/drive_c/users/$user/AppData/Local/Dorv/$1"
}
# The package of the next version, for the upgrade rounds.
next_msi_version() {
  echo "$version.1"
}
# install, check, uninstall, check. SCENARIO:
#   alone       no add-in registered before: ours is OPEN
#   other       another add-in is OPEN: ours is OPEN1, the other survives
#   renumbered  as "other", then Excel renumbers (ours OPEN, the other OPEN1)
#               before uninstall: uninstall removes ours by its value
#   repaired    as "alone", then the user unticks ours in Excel and another
#               add-in takes OPEN: a repair registers ours again as OPEN1
#   upgraded    as "alone", then the next version is installed over it: ours
#               stays OPEN and nothing else is written; its uninstall removes it
#   upgraded-other  as "other", then the upgrade: ours stays OPEN1
other_value='/R "C:\Addins\Other.xll"'
installer_round() { # BITNESS SCENARIO
  local bitness=$1 scenario=$2 msi dir ours_value ours=OPEN other=""
  msi=$(winpath "$root/dist/dorv-$version-$bitness.msi")
  dir=$(install_dir_of "$bitness")
  ours_value="/R \"C:\\users\\$user\\AppData\\Local\\Dorv\\$bitness\\DORV32.XLL\""
  # A round that failed half-way may have left its product installed: remove
  # it, so that each round starts from nothing installed.
  if [ -e "$dir" ]; then
    in_msi_prefix msiexec /x "$msi" /qn >/dev/null 2>&1
    [ -f "$run/dorv-next-$bitness.msi" ] && in_msi_prefix msiexec /x "$(winpath "$run/dorv-next-$bitness.msi")" /qn >/dev/null 2>&1
  fi
  in_msi_prefix reg add "$options_key" /v DorvTestMarker /t REG_SZ /d kept /f >/dev/null ||
    { echo "reg add of the marker failed"; return 1; }
  for n in "" 1 2; do in_msi_prefix reg delete "$options_key" /v "OPEN$n" /f >/dev/null 2>&1; done
  case $scenario in other | renumbered | upgraded-other)
    in_msi_prefix reg add "$options_key" /v OPEN /t REG_SZ /d "$other_value" /f >/dev/null || return 1
    ours=OPEN1 other=OPEN
    ;;
  esac
  in_msi_prefix msiexec /i "$msi" /qn || { echo "msiexec /i failed"; return 1; }
  read_options "after install" || return 1
  [ "$(opt "$ours")" = "$ours_value" ] || { echo "expected $ours = $ours_value"; return 1; }
  if [ -n "$other" ]; then
    [ "$(opt OPEN)" = "$other_value" ] || { echo "the other add-in's OPEN changed"; return 1; }
  else
    [ -z "$(opt OPEN1)" ] || { echo "OPEN1 written although OPEN was free"; return 1; }
  fi
  # Installed: exactly the files of the zip.
  diff -u <(cd "$run/unzipped-$bitness/dorv-$version-$bitness" && find . -type f ! -name 'read_values_*.exe' | LC_ALL=C sort) \
    <(cd "$dir" && find . -type f | LC_ALL=C sort) || return 1
  cmp "$dir/DORV32.XLL" "dist/$bitness/DORV32.XLL" || return 1
  case $scenario in
    renumbered)
      in_msi_prefix reg add "$options_key" /v OPEN /t REG_SZ /d "$ours_value" /f >/dev/null &&
        in_msi_prefix reg add "$options_key" /v OPEN1 /t REG_SZ /d "$other_value" /f >/dev/null || return 1
      ours=OPEN other=OPEN1
      read_options "renumbered" || return 1
      ;;
    repaired)
      in_msi_prefix reg add "$options_key" /v OPEN /t REG_SZ /d "$other_value" /f >/dev/null || return 1
      in_msi_prefix msiexec /i "$msi" /qn REINSTALL=ALL REINSTALLMODE=u || { echo "repair failed"; return 1; }
      ours=OPEN1 other=OPEN
      read_options "repaired" || return 1
      [ "$(opt OPEN1)" = "$ours_value" ] || { echo "the repair did not register the add-in as OPEN1"; return 1; }
      ;;
    upgraded | upgraded-other)
      local next=$run/dorv-next-$bitness.msi
      if [ ! -f "$next" ]; then
        packaging/make-msi.sh "dist/$bitness" "$bitness" "$next" "$(next_msi_version)" >"$run/next-$bitness.txt" 2>&1 ||
          { cat "$run/next-$bitness.txt"; return 1; }
      fi
      msi=$(winpath "$next")
      in_msi_prefix msiexec /i "$msi" /qn || { echo "msiexec /i of the next version failed"; return 1; }
      read_options "upgraded to $(next_msi_version)" || return 1
      [ "$(opt "$ours")" = "$ours_value" ] || { echo "the upgrade moved the add-in from $ours"; return 1; }
      local n
      for n in "" 1 2; do
        [ "OPEN$n" = "$ours" ] || [ "OPEN$n" = "$other" ] || [ -z "$(opt "OPEN$n")" ] ||
          { echo "the upgrade wrote OPEN$n"; return 1; }
      done
      [ -z "$other" ] || [ "$(opt "$other")" = "$other_value" ] || { echo "the other add-in's $other changed"; return 1; }
      [ -f "$dir/DORV32.XLL" ] || { echo "the upgrade left no DORV32.XLL"; return 1; }
      ;;
  esac
  in_msi_prefix msiexec /x "$msi" /qn || { echo "msiexec /x failed"; return 1; }
  read_options "after uninstall" || return 1
  [ -z "$(opt "$ours")" ] || { echo "$ours is still there"; return 1; }
  [ ! -e "$dir" ] || { echo "$dir is still there:"; find "$dir"; return 1; }
  [ ! -e "$(dirname "$dir")" ] || { echo "$(dirname "$dir") is still there"; return 1; }
  if [ -n "$other" ]; then
    [ "$(opt "$other")" = "$other_value" ] || { echo "the other add-in's $other is gone or changed"; return 1; }
  fi
  in_msi_prefix reg query 'HKCU\Software\Dorv' >/dev/null 2>&1 && { echo "HKCU\Software\Dorv is still there"; return 1; }
  return 0
}
if [ "$dist_ok" -eq 1 ] && [ -f "dist/dorv-$version-win64.msi" ]; then
  # 64-bit msiexec installs either package, as on 64-bit Windows.
  for bitness in win64 win32; do
    check "$bitness installer installs the files and OPEN, uninstall removes both" installer_round "$bitness" alone
    check "$bitness installer takes OPEN1 beside an add-in registered as OPEN, which survives uninstall" \
      installer_round "$bitness" other
    check "$bitness uninstall finds its value after Excel renumbered, the other add-in's survives" \
      installer_round "$bitness" renumbered
    check "$bitness repair registers the add-in again beside another, uninstall removes it" \
      installer_round "$bitness" repaired
    check "$bitness upgrade to the next version keeps the add-in as OPEN, uninstall removes it" \
      installer_round "$bitness" upgraded
    check "$bitness upgrade beside another add-in keeps ours as OPEN1 and the other as OPEN" \
      installer_round "$bitness" upgraded-other
  done
else
  echo "FAIL: installers: not made"
  failed=$((failed + 1))
fi

# --- 4. Linux installation --------------------------------------------------
native=$root/build/native
prefix=$run/prefix
linux_install() {
  cmake --install "$native" --prefix "$run/prefix-first" >"$run/install.txt" || return 1
  # Moved after installation: the package files must not depend on the prefix.
  mv "$run/prefix-first" "$prefix"
  local lib=$prefix/lib
  [ -f "$lib/libdorv32.so.$version" ] && [ "$(readlink "$lib/libdorv32.so.2")" = "libdorv32.so.$version" ] &&
    [ "$(readlink "$lib/libdorv32.so")" = libdorv32.so.2 ] || { ls -l "$lib"; return 1; }
  readelf -d "$lib/libdorv32.so.$version" | grep -q "Library soname: \[libdorv32.so.2\]" || return 1
  for f in include/dorv32.h bin/dorv bin/dorvd lib/cmake/dorv/dorvConfig.cmake lib/cmake/dorv/dorvConfigVersion.cmake \
    lib/pkgconfig/dorv32.pc share/doc/dorv/examples/read_values.c; do
    [ -f "$prefix/$f" ] || { echo "missing $f"; return 1; }
  done
  # Every page of the build's docs/ is installed.
  local source
  source=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$native/CMakeCache.txt")
  for f in "$source"/docs/*.md; do
    [ -e "$f" ] || continue
    [ -f "$prefix/share/doc/dorv/${f##*/}" ] || { echo "missing doc $f"; return 1; }
  done
}
downstream_cmake() {
  rm -rf "$run/downstream"
  cmake -S "$here/downstream" -B "$run/downstream" -DCMAKE_PREFIX_PATH="$prefix" \
    -DREAD_VALUES_SOURCE="$prefix/share/doc/dorv/examples/read_values.c" &&
    cmake --build "$run/downstream" &&
    ldd "$run/downstream/read_values" | grep -q "libdorv32.so.2 => $prefix/lib/libdorv32.so.2" &&
    run_example "native" "$run/downstream/read_values"
}
downstream_pkg_config() {
  local flags
  [ "$(PKG_CONFIG_PATH=$prefix/lib/pkgconfig pkg-config --modversion dorv32)" = "$version" ] || return 1
  flags=$(PKG_CONFIG_PATH=$prefix/lib/pkgconfig pkg-config --cflags --libs dorv32) || return 1
  echo "pkg-config: $flags"
  cc -std=c99 -Wall -Wextra -Werror "$prefix/share/doc/dorv/examples/read_values.c" $flags \
    -Wl,-rpath,"$prefix/lib" -o "$run/read_values_pc" &&
    run_example "native" "$run/read_values_pc"
}
installed_dorv() {
  ldd "$prefix/bin/dorv" | grep -q "libdorv32.so.2 => $prefix/" || { ldd "$prefix/bin/dorv"; return 1; }
  "$prefix/bin/dorv" -s 127.0.0.1 -p "$port" version
}
if [ -f "$native/CMakeCache.txt" ]; then
  check "Linux install: versioned soname, header, programs, docs, package files" linux_install
  if [ -n "$port" ]; then
    check "downstream CMake project finds dorv::dorv32 and its program runs" downstream_cmake
    check "pkg-config dorv32 builds the example, which runs" downstream_pkg_config
    check "installed dorv finds its library and talks to dorvd" installed_dorv
  else
    echo "FAIL: Linux programs: dorvd is not running (build the native preset)"
    failed=$((failed + 1))
  fi
else
  echo "FAIL: Linux install: build/native is not configured"
  failed=$((failed + 1))
fi

# --- 5. One version everywhere ----------------------------------------------
# The version of project() in CMakeLists.txt is the only source: the zips'
# and installers' names, the version resources of the released binaries
# (FILEVERSION and PRODUCTVERSION MAJOR,MINOR,0,0, the texts; the add-in's
# product version "A.0M.mm"), dorv.exe --version, the installed dorv, the
# pkg-config file and the CHANGELOG's newest release heading.
pe_version=$native/tests/version/pe_version
addin_product_version() {
  local major=${version%%.*} minor=${version#*.}
  printf 'A.%02d.%02d' "$major" "$minor"
}
released_resources() { # BITNESS
  local dir=$run/unzipped-$1/dorv-$version-$1 f product out
  for f in dorv32.dll DORV32.XLL dorv.exe; do
    out=$("$pe_version" "$dir/$f") || return 1
    echo "$out"
    [ "$f" = DORV32.XLL ] && product=$(addin_product_version) || product=$version
    for line in "FILEVERSION $version.0.0" "PRODUCTVERSION $version.0.0" "FileVersion=$version" \
      "ProductVersion=$product"; do
      grep -qxF "$dir/$f: $line" <<<"$out" || { echo "$f: expected $line"; return 1; }
    done
  done
}
released_names() {
  local f
  for f in "dorv-$version-win32.zip" "dorv-$version-win64.zip" "dorv-$version-win32.msi" "dorv-$version-win64.msi"; do
    [ -f "dist/$f" ] || { echo "missing dist/$f"; ls dist; return 1; }
  done
}
released_dorv_exe() {
  local out
  out=$(in_wine win64 "$run/unzipped-win64/dorv-$version-win64/dorv.exe" --version | tr -d '\r') || return 1
  echo "$out"
  [ "$out" = "dorv $version" ]
}
installed_versions() {
  local out
  out=$("$prefix/bin/dorv" --version) && echo "$out" && [ "$out" = "dorv $version" ] || return 1
  out=$("$prefix/bin/dorvd" --version) && echo "$out" && [[ "$out" == "dorvd $version ("* ]] || return 1
  grep -qxF "Version: $version" "$prefix/lib/pkgconfig/dorv32.pc" || { cat "$prefix/lib/pkgconfig/dorv32.pc"; return 1; }
}
# The version an installed package shows in Windows' list of programs: the
# installer's ProductVersion, MAJOR.MINOR.0.
installer_version() { # BITNESS
  local msi shown
  msi=$(winpath "$root/dist/dorv-$version-$1.msi")
  in_msi_prefix msiexec /i "$msi" /qn || { echo "msiexec /i failed"; return 1; }
  # A 32-bit package lands in the 32-bit view of the registry.
  shown=$(for view in "" 'Wow6432Node\'; do
    in_msi_prefix reg query 'HKLM\Software\'"$view"'Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null
  done | tr -d '\r' | awk -v name="Dorv Client ${1#win} Bit" 'BEGIN { RS = "" }
      index($0, name) && match($0, /DisplayVersion +REG_SZ +[^\n]*/) {
        text = substr($0, RSTART, RLENGTH); sub(/DisplayVersion +REG_SZ +/, "", text); print text }')
  in_msi_prefix msiexec /x "$msi" /qn || { echo "msiexec /x failed"; return 1; }
  echo "installed version: '$shown'"
  [ "$shown" = "$version.0" ]
}
changelog_heading() {
  local newest
  # Changes not yet released gather under "## Unreleased" above it.
  newest=$(grep '^## ' CHANGELOG.md | grep -v '^## Unreleased' | head -n 1)
  echo "newest heading: $newest"
  [[ "$newest" =~ ^"## $version"( |$) ]] || { echo "expected '## $version' (CMakeLists.txt's version)"; return 1; }
}
if [ -x "$pe_version" ] && [ "$dist_ok" -eq 1 ]; then
  for bitness in win32 win64; do
    check "$bitness released binaries carry version $version in their resources" released_resources "$bitness"
  done
  check "zips and installers are named for version $version" released_names
  if [ -f "dist/dorv-$version-win64.msi" ]; then
    for bitness in win64 win32; do
      check "$bitness installer installs version $version.0" installer_version "$bitness"
    done
  fi
  check "the released dorv.exe --version says $version" released_dorv_exe
else
  echo "FAIL: versions of the release: no zips, or no $pe_version (build the native preset)"
  failed=$((failed + 1))
fi
[ -x "$prefix/bin/dorv" ] && check "installed dorv, dorvd and dorv32.pc say version $version" installed_versions
check "CHANGELOG.md's newest release is $version" changelog_heading

echo "Packaging: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
