#!/usr/bin/env bash
# The Windows installer (BUILD/dist/zorload-VERSION.msi, made by
# scripts/build-windows.sh) under Wine, in a prefix of its own made afresh in
# BUILD/wine-install, so that the tests' prefix stays as it is:
#   1. msiexec /i /qn: both programs, and nothing else, in
#      C:\Program Files\Zorload; the Start-menu shortcut "Zorload" to
#      zorload.exe; *.upd opened by zorload.exe, for every user; one entry in
#      Add or Remove Programs with the version, the publisher and the
#      wizard's icon; the installed zorload-cli.exe -v shows the version;
#   2. msiexec /x /qn leaves no file and no registry key of ours;
#   3. an older build (the same programs as VERSION less one in the last
#      field, which Windows does not compare by itself) installed first: the
#      current one replaces it, one entry remains, and /x again leaves
#      nothing;
#   4. the portable zip (BUILD/dist/zorload-VERSION-win32.zip): the folder
#      Zorload with both programs and LEGGIMI.txt for Notepad; its
#      zorload-cli.exe -v runs where it was unpacked.
# Usage: install_wine.sh BUILD. The prefix goes after a passing run; after a
# failure it stays for a look.
set -euo pipefail
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
msi=$build/dist/zorload-$version.msi
[ -f "$msi" ] || { echo "install_wine.sh: $msi missing (scripts/build-windows.sh)" >&2; exit 1; }
last=${version##*.}
older=${version%.*}.$((last > 0 ? last - 1 : 0))
started=$(date +%s)
echo "== the installer (over $older) and the portable zip under Wine =="

# Wine makes no menu entry or file type on this machine's desktop
# (winemenubuilder off), nor a .NET or HTML engine in the prefix.
export WINEARCH=win32 WINEPREFIX=$build/wine-install WINEDEBUG=-all \
  WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
work=$(mktemp -d "${TMPDIR:-/tmp}/zorload-install.XXXXXX")
passed=
cleanup() {
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
  if [ -n "$passed" ]; then rm -rf "$WINEPREFIX"; fi
}
trap cleanup EXIT INT TERM
fail() {
  echo "FAIL: $*" >&2
  for f in "$work"/*.txt; do [ -f "$f" ] && { echo "--- $(basename "$f")" >&2; cat "$f" >&2; }; done
  echo "prefix kept: $WINEPREFIX" >&2
  exit 1
}

rm -rf "$WINEPREFIX"
wineboot -i >/dev/null 2>&1
wineserver -w
c=$WINEPREFIX/drive_c
dir="$c/Program Files/Zorload"
# The shortcut goes to the Start menu of every user; Wine's installer puts it
# in the installing user's instead.
links=("$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Zorload.lnk"
  "$c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Zorload.lnk")
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
progid=Morvanti.Zorload.Aggiornamento
# Every file of the fresh prefix, to tell what an install leaves behind.
(cd "$c" && find . -type f | LC_ALL=C sort) >"$work/files-before"

older_msi=$work/zorload-$older.msi
"$root/packaging/windows/msi.sh" "$older" "$build/dist" "$older_msi" >"$work/wixl.txt" 2>&1 ||
  fail "wixl could not make the $older installer"

msiexec() {  # /i|/x MSI: msiexec under Wine, without a window, done when it returns
  local status=0
  wine msiexec "$1" "$(winepath -w "$2" 2>/dev/null)" /qn </dev/null \
    >>"$work/msiexec.txt" 2>&1 || status=$?
  [ "$status" -eq 0 ] || fail "msiexec $1 $(basename "$2") exited $status"
}
value() {  # KEY [NAME]: the registry value's data (the key's default without NAME), else nothing
  local args=(/ve)
  [ $# -lt 2 ] || args=(/v "$2")
  { wine reg query "$1" "${args[@]}" </dev/null 2>/dev/null || true; } | tr -d '\r' |
    sed -n 's/^    .*    REG_[A-Z_]*    //p'
}
has_key() { wine reg query "$1" </dev/null >/dev/null 2>&1; }
entries() {  # the Add or Remove Programs entries of ours: PRODUCTCODE VERSION PUBLISHER
  { wine reg query "$uninstall" /s </dev/null 2>/dev/null || true; } | tr -d '\r' | awk '
    function data(line) { sub(/^    [^ ].*    REG_[A-Z_]*    /, "", line); return line }
    /^HKEY_/ { n = split($0, part, "\\"); key = part[n]; next }
    /^    DisplayName    / { if (data($0) == "Morvanti Zorload") ours[key] = 1 }
    /^    DisplayVersion    / { version[key] = data($0) }
    /^    Publisher    / { publisher[key] = data($0) }
    END { for (k in ours) print k, version[k], publisher[k] }'
}
packed() {  # {GUID}: as the installer's own keys name it
  local g=${1//[\{\}-]/}
  printf '%s%s%s%s' "$(rev <<<"${g:0:8}")" "$(rev <<<"${g:8:4}")" "$(rev <<<"${g:12:4}")" \
    "$(sed 's/\(.\)\(.\)/\2\1/g' <<<"${g:16}")"
}

shows_version() {  # EXE: its -v shows the version resource of this build
  wine "$1" -v </dev/null >"$work/version.txt" 2>&1 || fail "$1 -v"
  diff <(tr -d '\r' <"$work/version.txt") - <<EOF || fail "$1 -v shows another version"
Informazioni sulla versione:

Morvanti Zorload
Versione $version
EOF
}

installed() {  # VERSION: what one install of that version leaves, checked
  local v=$1 list code v2 publisher extra packed_code icon
  list=$(entries)
  [ "$(wc -l <<<"$list")" -eq 1 ] && [ -n "$list" ] ||
    fail "Add or Remove Programs lists Zorload $(grep -c . <<<"$list") times: $list"
  read -r code v2 publisher extra <<<"$list"
  [ "$v2" = "$v" ] || fail "the entry shows version $v2, not $v"
  [ "$publisher" = Morvanti ] && [ -z "$extra" ] ||
    fail "the entry's publisher is $publisher $extra"
  # Add or Remove Programs takes an installed product's icon from the
  # installer's own key: a copy of the wizard kept by Windows.
  packed_code=$(packed "$code")
  icon=$(value "HKCR\\Installer\\Products\\$packed_code" ProductIcon)
  [ -n "$icon" ] && cmp -s "$(winepath -u "$icon" 2>/dev/null)" "$build/dist/zorload.exe" ||
    fail "the entry's icon is not the wizard's: '$icon'"
  echo "$code $packed_code" >>"$work/codes"
  for exe in zorload.exe zorload-cli.exe; do
    cmp -s "$dir/$exe" "$build/dist/$exe" || fail "$exe is not in C:\\Program Files\\Zorload"
  done
  [ "$(ls -A "$dir" | tr '\n' ' ')" = "zorload-cli.exe zorload.exe " ] ||
    fail "C:\\Program Files\\Zorload holds: $(ls -A "$dir" | tr '\n' ' ')"
}

nothing_left() {  # after /x: no file and no registry key of ours
  local code packed_code f
  [ ! -e "$dir" ] || fail "C:\\Program Files\\Zorload is still there: $(ls -A "$dir")"
  for f in "${links[@]}"; do [ ! -e "$f" ] || fail "the shortcut is still there: $f"; done
  (cd "$c" && find . -type f | LC_ALL=C sort) |
    diff "$work/files-before" - >"$work/files-left.txt" || fail "the uninstall left files behind"
  for k in 'HKCR\.upd' "HKCR\\$progid" 'HKLM\Software\Classes\.upd'; do
    ! has_key "$k" || fail "$k is still there"
  done
  [ -z "$(entries)" ] || fail "Add or Remove Programs still lists Zorload"
  # Every key and value on disk, with the server gone: nothing names us.
  wineserver -w
  while read -r code packed_code; do
    ! grep -a -q -i -e zorload -e morvanti -e '\\\\.upd\]' -e "${code//[\{\}]/}" \
      -e "$packed_code" "$WINEPREFIX"/*.reg ||
      fail "the registry still holds: $(grep -a -i -h -e zorload -e morvanti -e '\\\\.upd\]' \
        -e "${code//[\{\}]/}" -e "$packed_code" "$WINEPREFIX"/*.reg | head -5)"
  done <"$work/codes"
  : >"$work/codes"
}

echo "-- install $version"
msiexec /i "$msi"
installed "$version"
# The Start-menu shortcut leads to the installed wizard.
link=
for f in "${links[@]}"; do [ -f "$f" ] && link=$f; done
[ -n "$link" ] || fail "no Start-menu shortcut Zorload.lnk"
grep -a -q -F 'C:\Program Files\Zorload\zorload.exe' "$link" ||
  fail "Zorload.lnk does not lead to zorload.exe"
# Beside it the bench's, to the same program with /banco.
bench_link="${link%/*}/Zorload - banco.lnk"
[ -f "$bench_link" ] && tr -d '\0' <"$bench_link" | grep -a -q -F 'Zorload\zorload.exe' &&
  tr -d '\0' <"$bench_link" | grep -a -q -F '/banco' ||
  fail "no Start-menu shortcut \"Zorload - banco\" to zorload.exe /banco"
# *.upd: the file type of every user, opened by the wizard with its icon.
[ "$(value 'HKCR\.upd')" = "$progid" ] || fail "HKCR\\.upd is '$(value 'HKCR\.upd')', not $progid"
[ "$(value 'HKLM\Software\Classes\.upd')" = "$progid" ] ||
  fail ".upd is not registered for every user"
command=$(value "HKCR\\$progid\\shell\\open\\command")
[ "$command" = '"C:\Program Files\Zorload\zorload.exe" "%1"' ] || fail "*.upd opens with: $command"
[ "$(value "HKCR\\$progid\\DefaultIcon")" = 'C:\Program Files\Zorload\zorload.exe,0' ] ||
  fail "the *.upd icon is $(value "HKCR\\$progid\\DefaultIcon")"
shows_version 'C:\Program Files\Zorload\zorload-cli.exe'

echo "-- uninstall"
msiexec /x "$msi"
nothing_left

echo "-- $older, then $version over it"
msiexec /i "$older_msi"
installed "$older"
msiexec /i "$msi"
installed "$version"
msiexec /x "$msi"
nothing_left

echo "-- the portable zip"
if ! command -v unzip >/dev/null; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  [ -n "${ZOR_APT_UPDATED:-}" ] || $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends unzip
fi
unzip -q "$build/dist/zorload-$version-win32.zip" -d "$c/Portatile" || fail "unzip"
[ "$(cd "$c/Portatile" && find . | LC_ALL=C sort | tr '\n' ' ')" = \
  ". ./Zorload ./Zorload/LEGGIMI.txt ./Zorload/zorload-cli.exe ./Zorload/zorload.exe " ] ||
  fail "the zip holds: $(cd "$c/Portatile" && find . -type f | tr '\n' ' ')"
for exe in zorload.exe zorload-cli.exe; do
  cmp -s "$c/Portatile/Zorload/$exe" "$build/dist/$exe" ||
    fail "the zip's $exe is not the build's"
done
{ printf '\357\273\277'; sed 's/$/\r/' "$root/packaging/windows/LEGGIMI.txt"; } |
  cmp -s - "$c/Portatile/Zorload/LEGGIMI.txt" ||
  fail "LEGGIMI.txt is not packaging/windows/LEGGIMI.txt with CR LF and a byte order mark"
shows_version 'C:\Portatile\Zorload\zorload-cli.exe'

passed=1
echo "the installer under Wine installs, upgrades and uninstalls cleanly; the zip runs" \
  "unpacked ($(($(date +%s) - started)) s)"
