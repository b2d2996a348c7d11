#!/usr/bin/env bash
# Builds the Debian package: build/larkspan_<version>-1_<arch>.deb, with its
# dependencies computed from the libraries the program links.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
cd "$root/build"
cpack -G DEB
ls "$root"/build/larkspan_*.deb
