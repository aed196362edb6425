#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need,
# and any further packages named as arguments (other scripts' tools). Safe to
# run again: it does nothing when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake g++ pkg-config
  googletest libgtest-dev libgmock-dev
  libbenchmark-dev
  libsqlite3-dev sqlite3
  libpq-dev postgresql
  libmosquitto-dev mosquitto mosquitto-clients
  clang-format
  qt6-base-dev fonts-liberation
  locales libc-l10n
  tmux
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

if [ ${#missing[@]} -ne 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

# postgresql and mosquitto are here for their programs: the tests and
# bench/history_postgres.sh start servers of their own, as an unprivileged
# user, on free ports of 127.0.0.1 (tests/history/servers.sh). On a host
# with systemd the packages also start the system's instances (PostgreSQL on
# 5432, mosquitto on 1883, local only by Debian's defaults); nothing here
# uses those ports, and they may be left running or stopped. Debian's
# server programs (initdb, pg_ctl) are not on PATH: they are found under
# /usr/lib/postgresql/<version>/bin.
if ! ls /usr/lib/postgresql/*/bin/initdb >/dev/null 2>&1; then
  echo "setup: no initdb under /usr/lib/postgresql/*/bin" >&2
  exit 1
fi

# The Italian locale, for the test that the system's error texts follow the
# user's language.
if ! locale -a 2>/dev/null | grep -qix 'it_IT\.utf-\?8'; then
  echo "Generating the it_IT.UTF-8 locale"
  if grep -q '^# *it_IT\.UTF-8 UTF-8' /etc/locale.gen; then
    $SUDO sed -i 's/^# *\(it_IT\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  elif ! grep -q '^it_IT\.UTF-8 UTF-8' /etc/locale.gen; then
    echo 'it_IT.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  fi
  $SUDO locale-gen
fi
