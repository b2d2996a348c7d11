#!/usr/bin/env bash
# Installs what is missing, builds, and starts build/larkspan in the caller's
# working directory with the caller's arguments.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
exec "$root/build/larkspan" "$@"
