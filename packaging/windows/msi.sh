#!/usr/bin/env bash
# msi.sh VERSION DIST OUT: the Windows installer (zorload.wxs) of the
# programs in the folder DIST, as product version VERSION (four numbers), made
# with wixl into the file OUT. scripts/build-windows.sh calls it for every
# build; tests/windows/install_wine.sh also makes an older version with it.
set -euo pipefail
version=$1
dist=$(cd "$2" && pwd)
out=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
cd "$(dirname "$0")"
# wixl looks for a Source file from the .wxs file's folder (and from the
# current one) and takes no absolute path.
wixl -a x86 -D Version="$version" -D Dist="$(realpath --relative-to=. "$dist")" -o "$out" \
  zorload.wxs
