#!/usr/bin/env bash
# Configures and builds into build/ at the repository root.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
generator=()
if command -v ninja >/dev/null 2>&1 && [[ ! -f "$root/build/CMakeCache.txt" ]]; then
  generator=(-G Ninja)
fi
cmake -S "$root" -B "$root/build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j "$(nproc)"
