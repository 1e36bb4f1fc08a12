#!/usr/bin/env bash
# Installs everything vantik needs to build, test, benchmark and fuzz on a
# fresh Debian 12 machine.  Run as root (or with sudo).
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config git
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  liblcms2-dev libvips-dev libcli11-dev libcups2-dev
  libtiff-dev libpng-dev libjpeg-dev
  # Power spectra of the quality report.
  libfftw3-dev
  # The print system the queue tests run: cupsd, lp and lpadmin, cupsfilter,
  # ppdc and cupstestppd, and the cups filters with Ghostscript that turn a
  # PDF into raster.
  cups cups-daemon cups-client cups-filters cups-ppdc ghostscript poppler-utils
  # Colour tables from ICC profiles are tested on a profile that Argyll's
  # colprof makes of FOGRA39's measurements (icc-profiles-free).
  argyll icc-profiles-free
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
