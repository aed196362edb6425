#!/usr/bin/env bash
# Builds the Debian package of zorload, zorload-cli and zorsim into dist/,
# from a fresh Release build in build-pkg/ (or the folder given as $1, which
# is emptied first).
#
# CMake's install rules lay out the tree under /usr; this script adds what
# only the package needs (compressed manual pages, the icon's PNG sizes, the
# copyright and changelog, the control file) and hands the tree to dpkg-deb.
# Dates come from packaging/changelog, so the same commit gives the same .deb.
# The menu entry and the update-file type need no maintainer scripts: the
# triggers of desktop-file-utils and shared-mime-info refresh their caches.
set -euo pipefail
cd "$(dirname "$0")/.."
umask 022

scripts/setup.sh dpkg-dev librsvg2-bin

builddir="${1:-build-pkg}"
case "$builddir" in
  "" | . | .. | / | dist | packaging) echo "package.sh: refusing to use '$builddir' as build folder" >&2; exit 2 ;;
esac

echo "== Debian package: Release build in $builddir =="
rm -rf "$builddir"
# Debian's hardening flags (stack protector, fortified libc calls, read-only
# relocations) and its source path mapping. CMake reads no CPPFLAGS, so they
# join CXXFLAGS; no debug information, the programs are stripped anyway.
buildflags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
cxxflags="$(buildflags CPPFLAGS) $(buildflags CXXFLAGS)"
CXXFLAGS="${cxxflags/-g /}" LDFLAGS="$(buildflags LDFLAGS)" \
  cmake -S . -B "$builddir" -DCMAKE_BUILD_TYPE=Release -DZORLOAD_BENCH=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$builddir" -j "$(nproc)" --target zorload zorload-cli zorsim

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$builddir/CMakeCache.txt")
changelog_version=$(dpkg-parsechangelog -l packaging/changelog -SVersion)
if [ "$version" != "$changelog_version" ]; then
  echo "package.sh: the project is at $version but packaging/changelog at $changelog_version;" \
    "add an entry for $version to packaging/changelog" >&2
  exit 1
fi
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l packaging/changelog -STimestamp)
export SOURCE_DATE_EPOCH
maintainer=$(dpkg-parsechangelog -l packaging/changelog -SMaintainer)
arch=$(dpkg --print-architecture)

# The tree sits where a source package keeps it, for dpkg-shlibdeps.
pkgdir="$builddir/deb"
root="$pkgdir/debian/zorload"
DESTDIR="$PWD/$root" cmake --install "$builddir" >/dev/null
for program in zorload zorload-cli zorsim; do
  if [ ! -x "$root/usr/bin/$program" ]; then
    echo "package.sh: cmake --install laid out no usr/bin/$program (is its install() rule gone?)" >&2
    exit 1
  fi
done
strip --remove-section=.comment --remove-section=.note "$root"/usr/bin/*

share="$root/usr/share"
find "$share/man" -name '*.1' -exec gzip -9n {} +
for size in 48 256; do
  mkdir -p "$share/icons/hicolor/${size}x${size}/apps"
  rsvg-convert -w "$size" -h "$size" packaging/icons/zorload.svg \
    -o "$share/icons/hicolor/${size}x${size}/apps/zorload.png"
done
mkdir -p "$share/doc/zorload"
cp packaging/copyright "$share/doc/zorload/copyright"
gzip -9n <packaging/changelog >"$share/doc/zorload/changelog.gz"

# dpkg-shlibdeps runs inside a source package (debian/control) and knows the
# package tree by its DEBIAN folder.
mkdir -p "$root/DEBIAN"
printf 'Source: zorload\n\nPackage: zorload\nArchitecture: any\n' >"$pkgdir/debian/control"
shlibs=$(cd "$pkgdir" && dpkg-shlibdeps -O \
  debian/zorload/usr/bin/zorload debian/zorload/usr/bin/zorload-cli debian/zorload/usr/bin/zorsim)
shlibs=${shlibs#shlibs:Depends=}

cat >"$root/DEBIAN/control" <<EOF
Package: zorload
Version: $version
Architecture: $arch
Maintainer: $maintainer
Installed-Size: $(du -sk --exclude=DEBIAN "$root" | cut -f1)
Depends: $shlibs
Recommends: shared-mime-info
Section: electronics
Priority: optional
Description: firmware updater for sports chronometers over RS-232
 Zorload installs firmware components into a hand-held sports chronometer
 connected to a serial port. zorload is a wizard window in Italian: it
 loads an update file (*.upd), finds the chronometer, reads its flash
 partition table, lets the technician choose the components, plans where
 they go and writes them.
 .
 zorload-cli drives the same engine from the shell, for scripts and service
 benches. zorsim plays a chronometer on a pseudo-terminal, so that both can
 be tried without hardware.
EOF
(cd "$root" && find usr -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum) >"$root/DEBIAN/md5sums"
chmod 0644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"
find "$root" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

mkdir -p dist
rm -f dist/zorload_*.deb
deb="dist/zorload_${version}_${arch}.deb"
dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" >/dev/null
echo "Built $deb ($(du -k "$deb" | cut -f1) KB)"
