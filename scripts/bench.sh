#!/usr/bin/env bash
# Builds and runs every benchmark in bench/ and prints their figures with the
# machine they ran on, ready for docs/performance.md.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh >/dev/null

echo "| Machine | $(nproc) cores, $(free -g | awk '/Mem:/ {print $2}') GiB, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //') |"
echo "|---|---|"
echo "| Date | $(date -u +%Y-%m-%d) |"
echo
for bench in build/bin/bench_*; do
  [ -x "$bench" ] || continue
  echo "### $(basename "$bench")"
  echo '```'
  "$bench"
  echo '```'
  echo
done
