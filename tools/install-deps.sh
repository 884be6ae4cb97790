#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing the suite need.
# Safe to run again: only what is missing is installed.
set -euo pipefail
pkgs=(
  build-essential cmake ninja-build pkg-config
  libsqlite3-dev sqlite3 libicu-dev libpq-dev postgresql pgbouncer
  qt6-base-dev qt6-base-dev-tools libqt6svg6-dev libgl-dev libxcb1-dev
  libgtest-dev libbenchmark-dev
  fonts-ipafont-gothic fonts-ipamj-mincho fontconfig
  poppler-utils xvfb xdotool x11-utils imagemagick time
  clang clang-format clang-tidy
  cups printer-driver-cups-pdf libcups2-dev openbox lintian xdg-utils dbus-daemon
  devscripts diffoscope-minimal
)
install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ "${#missing[@]}" -gt 0 ]; then
    local SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}
install_missing "${pkgs[@]}"
# The fuzzer's runtime (libFuzzer) that belongs to the clang just installed.
install_missing "libclang-rt-$(clang -dumpversion | cut -d. -f1)-dev"
