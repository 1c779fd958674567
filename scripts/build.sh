#!/usr/bin/env bash
# Configures and builds into build/ (executables in build/bin).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if ! cmake --build build -j"$(nproc)"; then
  # A build tree made before new Qt classes were added can keep stale moc
  # output; regenerate it once before giving up.
  echo "build failed: regenerating Qt's generated sources and trying again" >&2
  find build -type d -name '*_autogen' -prune -exec rm -rf {} +
  cmake --build build -j"$(nproc)"
fi
