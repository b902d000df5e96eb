#!/usr/bin/env bash
# Installs the Debian packages that building and testing VELKINDEX needs,
# only those that are missing. Uses apt-get as root, or through sudo.
set -euo pipefail

packages=(
  g++ cmake make pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libsqlite3-dev sqlite3
  # The PostgreSQL engine (libpq) and the throwaway server of its tests
  # (scripts/pg-cluster.sh).
  libpq-dev postgresql-15 postgresql-client-15
  libgtest-dev libgmock-dev
  xvfb xauth x11-apps imagemagick
  # The windows' layout is made for Arial widths: Liberation Sans has them
  # (tests/app/test_captions checks that every caption fits).
  fonts-liberation2
  # Packaging (packaging/, tests/packaging): the .deb's Depends, the desktop
  # entry's check, the manual page's rendering.
  dpkg-dev desktop-file-utils groff-base man-db binutils
  # Fuzzing (scripts/fuzz.sh): clang, the libFuzzer runtime, llvm-symbolizer.
  clang libclang-rt-14-dev llvm-14
  # Reliability (tests/reliability): strace sees the log synced before a run
  # reports success; chattr makes a file read-only even for root.
  strace e2fsprogs
  # Benchmarks (bench/bench_vs_shell.sh): /usr/bin/time reads each run's peak memory.
  time
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
