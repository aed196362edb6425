#!/usr/bin/env bash
# Cross-builds zorload.exe, zorload-cli.exe, the engine's libraries and the
# unit tests for 32-bit Windows with mingw-w64, into build-win32/ (or the
# folder given as $1), with extra CMake arguments after it. Installs the cross
# compiler, the GoogleTest sources, Qt, wixl and zip first when they are
# missing (nothing happens when they are there). Every program is a static
# exe: it needs no DLL beside it. What is handed out goes to dist/: both
# programs, zorload-VERSION.msi (packaging/windows/zorload.wxs) and the
# portable zorload-VERSION-win32.zip.
#
# The window's pictures and its transfer clip are drawn by the Qt artwork
# code: a host build in $1/host runs zorload-artwork into $1/artwork, which
# the cross build compiles into zorload.exe's resources.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build-win32}"
shift || true

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# Installs the Debian packages named that are not installed yet; one
# apt-get update per run at most.
apt_updated=${ZOR_APT_UPDATED:-}
install_missing() {
  local missing=() p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if [ -z "$apt_updated" ]; then
    $SUDO apt-get update
    apt_updated=1
  fi
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
}

if [ "${ZOR_SKIP_INSTALL:-}" != 1 ]; then
  install_missing cmake make g++-mingw-w64-i686-posix binutils-mingw-w64-i686 \
    mingw-w64-i686-dev mingw-w64-tools googletest \
    g++ libgtest-dev libgmock-dev qt6-base-dev fonts-liberation wixl zip librsvg2-bin icoutils
fi

# Google Benchmark has no Windows package: its Debian sources are built with
# the cross compiler, like GoogleTest's. They come from Debian's source
# archive, which needs a deb-src entry beside the binary one.
case "$dir" in
  /*) bench_src="$dir/src/benchmark" ;;
  *) bench_src="$PWD/$dir/src/benchmark" ;;
esac
if [ ! -f "$bench_src/CMakeLists.txt" ]; then
  if [ "${ZOR_SKIP_INSTALL:-}" != 1 ] && ! apt-get indextargets --format '$(TARGET_OF)' 2>/dev/null |
    grep -q deb-src; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
      $SUDO tee /etc/apt/sources.list.d/zorload-deb-src.sources >/dev/null
    $SUDO apt-get update
  fi
  mkdir -p "$dir/src"
  (cd "$dir/src" && apt-get source --download-only benchmark >/dev/null 2>&1 &&
    tar -xzf benchmark_*.orig.tar.gz && rm -rf benchmark && mv benchmark-*/ benchmark) ||
    echo "Google Benchmark sources not found: the Windows benchmarks are skipped"
fi

# SQLite is compiled into the static programs from its single-file source
# (sqlite3.c, public domain). Debian ships no copy of that file, so it is
# taken from the npm registry's better-sqlite3 package, which carries it
# unchanged under deps/sqlite3/: one pinned version, its tarball checked
# against a known SHA-256. Fetched once; a later run finds it in place.
sqlite_pkg=better-sqlite3@12.4.1  # SQLite 3.50.4
sqlite_sha256=14398acbf00d1e8fe0a2753df7d4f15c13138e4b874f4e6e96791f65b4536d0d
case "$dir" in
  /*) sqlite_src="$dir/src/sqlite" ;;
  *) sqlite_src="$PWD/$dir/src/sqlite" ;;
esac
if [ ! -f "$sqlite_src/sqlite3.c" ]; then
  # A machine with Node.js from elsewhere has its own npm, which Debian's
  # package would conflict with.
  if [ "${ZOR_SKIP_INSTALL:-}" != 1 ] && ! command -v npm >/dev/null; then
    install_missing npm || true
  fi
  fetch=$(mktemp -d)
  if (cd "$fetch" && npm pack --silent "$sqlite_pkg" >/dev/null 2>&1) &&
    echo "$sqlite_sha256  $(ls "$fetch"/*.tgz)" | sha256sum -c --quiet -; then
    mkdir -p "$sqlite_src"
    tar -xzf "$fetch"/*.tgz -C "$fetch" package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h
    mv "$fetch/package/deps/sqlite3/sqlite3.h" "$fetch/package/deps/sqlite3/sqlite3.c" "$sqlite_src/"
  else
    echo "SQLite's source not fetched: the Windows programs are built without a history"
  fi
  rm -rf "$fetch"
fi

# The artwork, rendered on this machine without a display.
case "$dir" in
  /*) artwork="$dir/artwork" ;;
  *) artwork="$PWD/$dir/artwork" ;;
esac
cmake -S . -B "$dir/host" -DZORLOAD_BENCH=OFF >/dev/null
cmake --build "$dir/host" -j 2 --target zorload-artwork >/dev/null
QT_QPA_PLATFORM=offscreen "$dir/host/wizard/qt/zorload-artwork" "$artwork"
# The program's icon, from the drawing the Linux menu shows.
for size in 16 32 48 256; do
  rsvg-convert -w "$size" -h "$size" -o "$artwork/icon-$size.png" packaging/icons/zorload.svg
done
icotool -c -o "$artwork/zorload.ico" "$artwork"/icon-{16,32,48}.png -r "$artwork/icon-256.png"

cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZOR_BENCHMARK_SOURCE="$bench_src" \
  -DZOR_SQLITE_SOURCE="$sqlite_src" \
  -DZOR_ARTWORK_DIR="$artwork" "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
# The programs to hand out, without their debugging information.
mkdir -p "$dir/dist"
for exe in wizard/win32/zorload.exe cli/zorload-cli.exe; do
  i686-w64-mingw32-strip -o "$dir/dist/$(basename "$exe")" "$dir/$exe"
done

# The installer and the portable zip of those programs, named after the
# project's version (CMake's, as in the version resource).
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")
packaging/windows/msi.sh "$version" "$dir/dist" "$dir/dist/zorload-$version.msi"
# The zip holds a folder Zorload\ with both programs and LEGGIMI.txt (CR LF
# and a byte order mark, for Notepad). Fixed times (those of the last commit,
# or SOURCE_DATE_EPOCH) and no Unix extras (-X): the same sources give the
# same zip.
stamp=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 1767225600)}
stage=$dir/dist/zip
rm -rf "$stage" "$dir/dist/zorload-$version-win32.zip"
mkdir -p "$stage/Zorload"
cp "$dir/dist/zorload.exe" "$dir/dist/zorload-cli.exe" "$stage/Zorload/"
{ printf '\357\273\277'; sed 's/$/\r/' packaging/windows/LEGGIMI.txt; } \
  >"$stage/Zorload/LEGGIMI.txt"
chmod 0644 "$stage"/Zorload/*
touch -d "@$stamp" "$stage"/Zorload/*
(cd "$stage" && TZ=UTC zip -X -D -q "../zorload-$version-win32.zip" \
  Zorload/zorload.exe Zorload/zorload-cli.exe Zorload/LEGGIMI.txt)
rm -rf "$stage"
echo "Windows programs to hand out: $dir/dist/zorload.exe, $dir/dist/zorload-cli.exe"
echo "Installer: $dir/dist/zorload-$version.msi; portable: $dir/dist/zorload-$version-win32.zip"
