#!/usr/bin/env bash
# Configures and builds into build/ (executables in build/bin): everything,
# or only the targets named (scripts/build.sh dorvan-console dorvan-sim).
set -euo pipefail
cd "$(dirname "$0")/.."
launcher=()
# ccache, when a developer has it, makes rebuilds of other checkouts cheap.
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$PWD")}
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
targets=()
[ $# -gt 0 ] && targets=(--target "$@")
if ! cmake --build build -j"$(nproc)" "${targets[@]}"; then
  # A build tree made before new Qt classes were added can keep stale moc
  # output; regenerate it once before giving up.
  echo "build failed: regenerating Qt's generated sources and trying again" >&2
  find build -type d -name '*_autogen' -prune -exec rm -rf {} +
  cmake --build build -j"$(nproc)" "${targets[@]}"
fi
