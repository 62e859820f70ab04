#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need,
# only those that are missing. With --list, prints the packages and exits.
#
# Every package whose CMake files the build loads must be here (or be pulled
# in by one that is): the test suite checks it (scripts/check_deps.sh).
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-charts-dev qt6-serialport-dev qt6-svg-dev
    libqt6opengl6-dev
    libgl-dev libgtest-dev
    qt6-qpa-plugins fonts-dejavu-core qt6-translations-l10n
    libfftw3-dev
)

if [ "${1:-}" = "--list" ]; then
    printf '%s\n' "${packages[@]}"
    exit 0
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
