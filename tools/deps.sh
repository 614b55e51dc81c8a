#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Sondrel need,
# but only those that are missing. Safe to run again.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev zlib1g-dev libtag1-dev libjpeg-dev
    fonts-wine xdg-utils xdg-user-dirs
    help2man
)
if [ "${1:-}" = "--test" ]; then
    packages+=(g++-mingw-w64-x86-64 clang libclang-rt-14-dev xvfb xauth imagemagick e2fsprogs
        wine wine64 doctest-dev desktop-file-utils appstream lintian clang-format)
fi

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
