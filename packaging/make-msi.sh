#!/usr/bin/env bash
# Builds the per-user installer of one bitness from a staged release folder.
#   packaging/make-msi.sh STAGE_DIR win32|win64 OUTPUT.msi [MSI_VERSION]
# MSI_VERSION (three numbers) is the release's by default; the packaging
# tests give a later one to prove an upgrade.
# Every file under STAGE_DIR (and its first-level folders) is installed into
# %LOCALAPPDATA%\Dorv\win32 or \win64; packaging/dorv.wxs adds the Excel
# registration. Each file's component GUID is derived from the bitness and the
# file's path, so it stays the same from one build to the next.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [ $# -ne 3 ] && [ $# -ne 4 ]; then
  echo "usage: make-msi.sh STAGE_DIR win32|win64 OUTPUT.msi [MSI_VERSION]" >&2
  exit 2
fi
stage=$(cd "$1" && pwd)
bitness=$2
output=$3
case "$bitness" in
win32) arch=x86 bits=32 upgrade=5B0F7C2E-3A91-4D68-B7E4-1C2D3E4F5032 ;;
win64) arch=x64 bits=64 upgrade=5B0F7C2E-3A91-4D68-B7E4-1C2D3E4F5064 ;;
*)
  echo "make-msi.sh: bitness must be win32 or win64, not '$bitness'" >&2
  exit 2
  ;;
esac
command -v wixl >/dev/null || { echo "make-msi.sh: wixl not found (Debian package wixl, see scripts/install-deps.sh)" >&2; exit 1; }
[ -f "$stage/DORV32.XLL" ] || { echo "make-msi.sh: $stage has no DORV32.XLL" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A GUID from the SHA-1 of a name (the version nibble set to 5, as RFC 4122 names it).
name_guid() {
  local h
  h=$(printf '%s' "$1" | sha1sum | cut -c1-32 | tr a-f A-F)
  printf '%s-%s-5%s-8%s-%s\n' "${h:0:8}" "${h:8:4}" "${h:13:3}" "${h:17:3}" "${h:20:12}"
}

# XML-safe identifiers and texts for the file names we ship (letters, digits, . _ -).
check_name() {
  if [[ ! "$1" =~ ^[A-Za-z0-9._-]+$ ]]; then
    echo "make-msi.sh: cannot package a file named '$1'" >&2
    exit 1
  fi
}

files_wxs=$work/files.wxs
{
  echo '<?xml version="1.0" encoding="utf-8"?>'
  echo '<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">'
  echo '  <Fragment>'
  echo '    <DirectoryRef Id="INSTALLDIR">'
  refs=""
  n=0
  emit_files() { # folder (relative, "" for the top), indent
    local folder=$1 indent=$2 path name id
    while IFS= read -r path; do
      name=${path##*/}
      check_name "$name"
      n=$((n + 1))
      id="f$n"
      echo "$indent<Component Id=\"c$id\" Guid=\"$(name_guid "dorv $bitness ${folder:+$folder/}$name")\">"
      echo "$indent  <File Id=\"$id\" Name=\"$name\" Source=\"\$(var.SourceDir)/${folder:+$folder/}$name\" KeyPath=\"yes\"/>"
      echo "$indent</Component>"
      refs="$refs c$id"
    done < <(find "$stage/$folder" -mindepth 1 -maxdepth 1 -type f | LC_ALL=C sort)
  }
  emit_files "" "      "
  while IFS= read -r dir; do
    sub=${dir##*/}
    check_name "$sub"
    if [ -n "$(find "$dir" -mindepth 1 -type d)" ]; then
      echo "make-msi.sh: $dir holds folders; only one level is packaged" >&2
      exit 1
    fi
    echo "      <Directory Id=\"d_$sub\" Name=\"$sub\">"
    echo "        <Component Id=\"cd_$sub\" Guid=\"$(name_guid "dorv $bitness folder $sub")\">"
    echo "          <RemoveFolder Id=\"rd_$sub\" On=\"uninstall\"/>"
    echo "          <RegistryValue Root=\"HKCU\" Key=\"Software\\Dorv\\Client\\win$bits\\Folders\" Name=\"$sub\" Type=\"integer\" Value=\"1\" KeyPath=\"yes\"/>"
    echo "        </Component>"
    refs="$refs cd_$sub"
    emit_files "$sub" "        "
    echo "      </Directory>"
  done < <(find "$stage" -mindepth 1 -maxdepth 1 -type d | LC_ALL=C sort)
  echo '    </DirectoryRef>'
  echo '  </Fragment>'
  echo '  <Fragment>'
  echo '    <ComponentGroup Id="DorvFiles">'
  for r in $refs; do echo "      <ComponentRef Id=\"$r\"/>"; done
  echo '    </ComponentGroup>'
  echo '  </Fragment>'
  echo '</Wix>'
} >"$files_wxs"

version=$(sed -n 's/^project(dorv VERSION \([0-9.]*\).*/\1/p' "$here/../CMakeLists.txt")
[ -n "$version" ] || { echo "make-msi.sh: no version in CMakeLists.txt" >&2; exit 1; }
msi_version=${4:-$version.0}
product_code=$(name_guid "dorv product $version $bitness")
[ $# -eq 4 ] && product_code=$(name_guid "dorv product $msi_version $bitness")

# wixl finds sources only by relative paths: it runs in the staged folder.
case "$output" in /*) ;; *) output=$PWD/$output ;; esac
cd "$stage"
wixl -a "$arch" -D Bits="$bits" -D GuidBits="0$bits" -D Version="$msi_version" \
  -D ProductCode="$product_code" -D UpgradeCode="$upgrade" \
  -D SourceDir=. -o "$output" "$here/dorv.wxs" "$files_wxs"
