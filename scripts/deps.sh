#!/usr/bin/env bash
# Installs the Debian 12 packages Nimbora needs to build, run and test, when any is missing.
#   --test  also the test tools (the sanitizer build uses gcc's own AddressSanitizer and UBSan)
#   --fuzz  clang with libFuzzer and its sanitizer runtimes, for scripts/fuzz.sh
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    qt6-base-dev libqt6opengl6-dev libgl-dev libglu1-mesa-dev libgl1-mesa-dri
    libcurl4-openssl-dev ca-certificates libjpeg-dev libpng-dev zlib1g-dev
    fonts-liberation qt6-wayland
)
case "${1:-}" in
    --test)
        packages+=(libgtest-dev libgmock-dev xvfb xauth x11-utils nginx-light tinyproxy
                   imagemagick libjpeg-turbo-progs xdotool
                   desktop-file-utils appstream weston) ;;
    --fuzz)
        packages+=(clang clang-14 libclang-rt-14-dev) ;;
esac

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
