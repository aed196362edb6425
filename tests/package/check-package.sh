#!/usr/bin/env bash
# Checks the Debian package that scripts/package.sh left in dist/: control
# fields, contents, manual pages, menu entry, software centre description,
# icon and update-file type.
#
# With --install (as root, or with sudo, on a machine where installing is
# acceptable) it also installs the package, runs the programs from /usr/bin,
# asks the desktop's MIME tools what a *.upd file is and what opens it, and
# removes the package again, together with any package the install pulled in.
set -euo pipefail
cd "$(dirname "$0")/../.."

install=0
case "${1:-}" in
  "") ;;
  --install) install=1 ;;
  *) echo "Uso: $0 [--install]" >&2; exit 2 ;;
esac

tools=(desktop-file-utils libxml2-utils man-db file shared-mime-info appstream lintian)
if [ "$install" = 1 ]; then tools+=(xdg-utils libfile-mimeinfo-perl); fi
scripts/setup.sh "${tools[@]}" >/dev/null

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

debs=(dist/zorload_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "FAIL: expected one dist/zorload_*.deb, found: ${debs[*]}" >&2
  exit 1
fi
deb=${debs[0]}
echo "== checking $deb =="

work=$(mktemp -d)
cleanup() { rm -rf "$work"; }
trap cleanup EXIT

# --- Control fields ---------------------------------------------------------
version=$(sed -n 's/^project(Zorload VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = zorload ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', the project is at $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)'"
[ "$deb" = "dist/zorload_${version}_${arch}.deb" ] || fail "file name $deb"
depends=$(field Depends)
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6; do
  [[ ", $depends," == *", $lib "* || ", $depends," == *", $lib,"* ]] || fail "Depends lacks $lib: $depends"
done

# --- Contents ---------------------------------------------------------------
# Each path with the mode it must have; every entry must belong to root.
listing=$(dpkg-deb -c "$deb")
while read -r mode path; do
  line=$(awk -v p="./$path" '$6 == p' <<<"$listing")
  if [ -z "$line" ]; then
    fail "missing /$path"
  elif [ "${line%% *}" != "$mode" ]; then
    fail "/$path has mode ${line%% *}, expected $mode"
  fi
done <<'EOF'
-rwxr-xr-x usr/bin/zorload
-rwxr-xr-x usr/bin/zorload-cli
-rwxr-xr-x usr/bin/zorsim
-rw-r--r-- usr/share/man/man1/zorload.1.gz
-rw-r--r-- usr/share/man/man1/zorload-cli.1.gz
-rw-r--r-- usr/share/man/man1/zorsim.1.gz
-rw-r--r-- usr/share/applications/zorload.desktop
-rw-r--r-- usr/share/metainfo/example.zorload.zorload.metainfo.xml
-rw-r--r-- usr/share/mime/packages/zorload.xml
-rw-r--r-- usr/share/icons/hicolor/scalable/apps/zorload.svg
-rw-r--r-- usr/share/icons/hicolor/48x48/apps/zorload.png
-rw-r--r-- usr/share/icons/hicolor/256x256/apps/zorload.png
-rw-r--r-- usr/share/doc/zorload/copyright
-rw-r--r-- usr/share/doc/zorload/changelog.gz
EOF
awk '$2 != "root/root" { print "FAIL: not owned by root: " $6; bad = 1 } END { exit bad }' \
  <<<"$listing" >&2 || failures=$((failures + 1))

tree="$work/tree"
dpkg-deb -x "$deb" "$tree"
share="$tree/usr/share"

# Stripped programs that find all their libraries.
for p in zorload zorload-cli zorsim; do
  file -L "$tree/usr/bin/$p" | grep -q 'not stripped' && fail "/usr/bin/$p is not stripped"
  missing=$(ldd "$tree/usr/bin/$p" | grep 'not found' || true)
  [ -z "$missing" ] || fail "/usr/bin/$p: $missing"
done

# Manual pages: no roff warnings, and they name the packaged version.
for p in zorload zorload-cli zorsim; do
  page="$share/man/man1/$p.1.gz"
  [ -f "$page" ] || continue
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$p.1: $warnings"
  zcat "$page" | grep -q "^\.TH .* \"Zorload $version\"" || fail "$p.1 does not name version $version"
done

# Menu entry, icon and file type must agree with each other and the programs.
desktop="$share/applications/zorload.desktop"
mime_xml="$share/mime/packages/zorload.xml"
if [ -f "$desktop" ]; then
  out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
  key() { sed -n "s/^$1=//p" "$desktop"; }
  exec_line=$(key Exec)
  [ -x "$tree/usr/bin/${exec_line%% *}" ] || fail "Exec=$exec_line: no such program in the package"
  [[ "$exec_line" == *" %f" || "$exec_line" == *" %F" ]] || fail "Exec=$exec_line does not take the opened file"
  [ -f "$share/icons/hicolor/scalable/apps/$(key Icon).svg" ] || fail "Icon=$(key Icon) not in the package"
  [ "$(key MimeType)" = "application/x-zorload-update;" ] || fail "MimeType=$(key MimeType)"
fi
# The software centre's description: valid, launching our menu entry (the
# tree check looks for it), opening our file type, listing this version.
metainfo="$share/metainfo/example.zorload.zorload.metainfo.xml"
if [ -f "$metainfo" ]; then
  out=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
  out=$(appstreamcli validate-tree --no-net "$tree" 2>&1) || fail "appstreamcli validate-tree: $out"
  xpath() { xmllint --xpath "string($1)" "$metainfo"; }
  [ "$(xpath '/component/launchable[@type="desktop-id"]')" = zorload.desktop ] ||
    fail "metainfo launchable is '$(xpath '/component/launchable')'"
  [ "$(xpath /component/provides/mediatype)" = application/x-zorload-update ] ||
    fail "metainfo mediatype is '$(xpath /component/provides/mediatype)'"
  [ "$(xpath '/component/releases/release[1]/@version')" = "$version" ] ||
    fail "metainfo's newest release is '$(xpath '/component/releases/release[1]/@version')', the project is at $version"
fi
for img in "$share/icons/hicolor/scalable/apps/zorload.svg" "$mime_xml"; do
  [ -f "$img" ] && { out=$(xmllint --noout "$img" 2>&1) || fail "xmllint $img: $out"; }
done
for size in 48 256; do
  png="$share/icons/hicolor/${size}x${size}/apps/zorload.png"
  [ -f "$png" ] && { file "$png" | grep -q "PNG image data, $size x $size," || fail "$(file "$png")"; }
done
# The type database built from our definition alone maps *.upd to our type.
if [ -f "$mime_xml" ]; then
  mkdir -p "$work/mime/packages"
  cp "$mime_xml" "$work/mime/packages/"
  out=$(update-mime-database "$work/mime" 2>&1) || fail "update-mime-database: $out"
  grep -q ':application/x-zorload-update:\*\.upd$' "$work/mime/globs2" 2>/dev/null ||
    fail "*.upd is not mapped to application/x-zorload-update"
fi

# Debian's own checks: no error and no warning (informational tags, such as
# the Italian words its English spell checker does not know, are fine).
if out=$(lintian --fail-on error,warning --suppress-tags spelling-error-in-binary "$deb" 2>&1); then
  out=$(echo "$out" | grep -v 'running with root privileges' || true)
  [ -z "$out" ] || echo "$out"
else
  fail "lintian: $out"
fi

# --- Installed --------------------------------------------------------------
if [ "$install" = 1 ] && [ "$failures" = 0 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  installed() { dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 == "ii" { print $2 }' | LC_ALL=C sort; }
  before="$work/before"
  installed >"$before"
  if grep -qx zorload "$before"; then
    echo "zorload was installed before this check: it will be left installed" >&2
  fi
  remove_again() {
    local added
    added=$(installed | LC_ALL=C comm -13 "$before" - | tr '\n' ' ')
    if [ -n "$added" ]; then
      echo "== removing $added=="
      # shellcheck disable=SC2086
      DEBIAN_FRONTEND=noninteractive $SUDO apt-get purge -y $added >/dev/null
    fi
    rm -rf "$work"
  }
  trap remove_again EXIT

  # apt's download user must be able to read the file.
  cp "$deb" "$work/" && chmod 0755 "$work" && chmod 0644 "$work/${deb##*/}"
  echo "== installing $deb =="
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "$work/${deb##*/}" >/dev/null

  # The desktop tools read the caches the triggers wrote; keep the user's own
  # associations out of it.
  export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
  unset XDG_CURRENT_DESKTOP DESKTOP_SESSION XDG_DATA_DIRS XDG_CONFIG_DIRS
  mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"
  : >"$work/esempio.upd"

  out=$(/usr/bin/zorload-cli -v 2>&1) || fail "zorload-cli -v: status $?"
  [[ "$out" == *"Versione $version"* ]] || fail "zorload-cli -v: $out"
  out=$(/usr/bin/zorsim --help 2>&1) || fail "zorsim --help: status $?"
  [[ "$out" == "Uso: zorsim"* ]] || fail "zorsim --help: $out"
  # The wizard with a file, as the file manager starts it: still up after 3 s
  # (offscreen, with a runtime folder of its own so no running wizard answers).
  mkdir -m 0700 "$work/run"
  status=0
  XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=offscreen timeout 3 /usr/bin/zorload "$work/esempio.upd" \
    >/dev/null 2>&1 || status=$?
  [ "$status" = 124 ] || fail "zorload $work/esempio.upd ended with status $status"
  for p in zorload zorload-cli zorsim; do
    [ "$(man -w "$p" 2>/dev/null)" = "/usr/share/man/man1/$p.1.gz" ] || fail "man -w $p: $(man -w "$p" 2>&1)"
  done
  type=$(xdg-mime query filetype "$work/esempio.upd" 2>&1) || true
  [ "$type" = application/x-zorload-update ] || fail "xdg-mime query filetype: '$type'"
  handler=$(xdg-mime query default application/x-zorload-update 2>&1) || true
  [ "$handler" = zorload.desktop ] || fail "xdg-mime query default: '$handler'"
fi

if [ "$failures" -ne 0 ]; then
  echo "== package check: $failures failure(s) ==" >&2
  exit 1
fi
echo "== package check passed =="
