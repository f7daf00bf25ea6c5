#!/bin/sh
# Installs what building, testing and running the utility need on Debian 12.
set -eu
packages="build-essential cmake pkg-config qt6-base-dev libgl-dev libgtest-dev \
fonts-dejavu-core clang libclang-rt-14-dev"
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends $packages
