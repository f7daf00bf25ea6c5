#!/bin/sh
# Installs the Debian 12 packages the utility needs.
#   scripts/install-deps.sh             building, testing and running
#   scripts/install-deps.sh --fuzz      also the fuzzers' compiler (clang)
#   scripts/install-deps.sh --package   also what building and checking the
#                                       .deb package needs
#   scripts/install-deps.sh --drivers   also the emulated PC of the driver lane
#                                       (tests/drivers/lane.py)
#   scripts/install-deps.sh --windows   also the Windows cross build: mingw-w64,
#                                       GoogleTest's sources, Wine and NSIS
#                                       (tests/windows/lane.py)
set -eu
packages="build-essential cmake pkg-config qt6-base-dev libgl-dev libgtest-dev \
fonts-dejavu-core qt6-qpa-plugins qt6-svg-dev socat \
xvfb xauth dbus-daemon at-spi2-core"
for option in "$@"; do
    case "$option" in
    --fuzz) packages="$packages clang libclang-rt-14-dev" ;;
    --package) packages="$packages file dpkg-dev lintian desktop-file-utils appstream man-db zsh" ;;
    --drivers) packages="$packages qemu-system-x86 busybox-static python3" ;;
    --windows) packages="$packages g++-mingw-w64-x86-64 googletest wine64 wine fonts-wine nsis xvfb python3" ;;
    *) echo "usage: $0 [--fuzz] [--package] [--drivers] [--windows]" >&2; exit 2 ;;
    esac
done
if [ "$(id -u)" -eq 0 ]; then
    sudo=""
elif command -v sudo >/dev/null 2>&1; then
    sudo="sudo"
else
    echo "$0: installing packages needs root, and sudo is not installed: run this as root" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
# shellcheck disable=SC2086 # the list is split on purpose
$sudo apt-get install -y --no-install-recommends $packages
