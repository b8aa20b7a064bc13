#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need,
# and only those that are missing. Runs as root (or through sudo).
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-5compat-dev
    fonts-crosextra-carlito fonts-dejavu-core
    openssl xxd
    clang libclang-rt-14-dev
    libbenchmark-dev libssl-dev
    xvfb xdotool xclip x11-utils libxcb1-dev
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
