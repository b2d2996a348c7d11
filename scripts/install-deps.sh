#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, only those
# that are missing. Uses sudo when not run as root.
set -euo pipefail

packages=(
  # build
  cmake g++ ninja-build pkg-config
  # tests
  googletest libgtest-dev libgmock-dev
  # real counterparts the tests start on loopback
  icecast2 ngircd ffmpeg faketime procps
  # TLS: the library, and the command the tests make their certificates with
  libssl-dev openssl
  # the start tone
  libasound2-dev
  # sound files: the player and the start sound (MP3, Ogg, FLAC, WAV, AAC)
  libgstreamer1.0-dev gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
  # the windows; without fonts Qt draws every character as a box
  qt6-base-dev fonts-dejavu-core
  # screenshots of the windows under a virtual display
  xvfb xauth imagemagick
  # the Debian package (cpack's dependency list) and the checks of what it installs
  dpkg-dev file desktop-file-utils appstream lintian
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
if [[ $(id -u) -ne 0 ]]; then as_root=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
