#!/usr/bin/env bash
# Installs the Debian 12 packages terraFetch needs to build, test and run,
# when any of them is missing. Safe to run again; needs root (or sudo).
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  ca-certificates
  qt6-base-dev libcurl4-openssl-dev libzip-dev libdeflate-dev libcpp-httplib-dev libgif-dev libgdal-dev
  zlib1g-dev libpng-dev
  libgtest-dev libgmock-dev libbenchmark-dev gdal-bin python3-gdal python3-yaml
  clang libclang-rt-14-dev
  xvfb xauth
  dpkg-dev file
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing missing packages: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
