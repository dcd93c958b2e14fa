#!/usr/bin/env bash
# Installs, from Debian's packages, whatever building and testing Snapsift needs and this
# machine lacks. Quiet and quick when everything is already there. Run as root.
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  libgtest-dev googletest                            # core tests
  qt6-base-dev qt6-base-dev-tools libgl-dev          # the window program
  fonts-dejavu-core                                  # fonts for the window
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64  # Windows build and its tests
  fonts-wine                                         # the Windows window's fonts under Wine
  nsis unzip x11-utils cmark                         # the Windows release: installer, zip check, README.html
  libtsk-dev libewf-dev libssl-dev                   # disk images read straight from the file
  zlib1g-dev libbrotli-dev libzstd-dev libz-mingw-w64-dev  # cached bodies sent with a content encoding
  libmsiecf-utils                                    # msiecfexport, a second reader of the index.dat tests' files
  libsqlite3-dev                                     # Chromium's SQL cache, read through SQLite
  ntfs-3g ewf-tools fdisk bc                         # disk image tests and benchmark: images made on the spot
  clang libclang-rt-14-dev                           # fuzz targets
  xvfb xauth                                         # the window under a virtual display
  file dpkg-dev                                      # package checks
)
for option in "$@"; do
  case $option in
    --with-screenshots) packages+=(chromium imagemagick) ;;
    --with-browser-caches) packages+=(chromium firefox-esr) ;;  # tests/caches/make-caches.sh
    *) echo "setup.sh: unknown option $option" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
