#!/usr/bin/env bash
# Cross-builds zorload.exe, zorload-cli.exe, the engine's libraries and the
# unit tests for 32-bit Windows with mingw-w64, into build-win32/ (or the
# folder given as $1), with extra CMake arguments after it. Installs the cross
# compiler, the GoogleTest sources and Qt first when they are missing (nothing
# happens when they are there). Every program is a static exe: it needs no
# DLL beside it.
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
    g++ libgtest-dev libgmock-dev qt6-base-dev fonts-liberation
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

# The artwork, rendered on this machine without a display.
case "$dir" in
  /*) artwork="$dir/artwork" ;;
  *) artwork="$PWD/$dir/artwork" ;;
esac
cmake -S . -B "$dir/host" -DZORLOAD_BENCH=OFF >/dev/null
cmake --build "$dir/host" -j 2 --target zorload-artwork >/dev/null
QT_QPA_PLATFORM=offscreen "$dir/host/wizard/qt/zorload-artwork" "$artwork"

cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZOR_BENCHMARK_SOURCE="$bench_src" \
  -DZOR_ARTWORK_DIR="$artwork" "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
# The programs to hand out, without their debugging information.
mkdir -p "$dir/dist"
for exe in wizard/win32/zorload.exe cli/zorload-cli.exe; do
  i686-w64-mingw32-strip -o "$dir/dist/$(basename "$exe")" "$dir/$exe"
done
echo "Windows programs to hand out: $dir/dist/zorload.exe, $dir/dist/zorload-cli.exe"
