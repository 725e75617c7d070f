#!/usr/bin/env bash
# Installs every Debian package that building, running and testing need.
# Run as root on Debian 12.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq \
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev clang-format \
  libgtest-dev libgmock-dev libbenchmark-dev \
  libexpat1 p7zip-full \
  libgtk-3-dev libcairo2-dev libfontconfig-dev gsettings-desktop-schemas fonts-wine fonts-dejavu-core \
  libx11-dev libxext-dev libxtst-dev \
  xvfb xauth xdotool
