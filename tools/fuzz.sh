#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each for the given number of seconds
# (default 60). Crashes and sanitizer reports fail the run; reproducers are
# left in build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

scripts/install-deps.sh
need=()
for p in clang libclang-rt-14-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${need[@]}"
fi

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DDORVAN_FUZZ=ON -DDORVAN_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz --target fuzz_receiver fuzz_link fuzz_files fuzz_station -j"$(nproc)"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p build-fuzz/artifacts
for target in fuzz_receiver fuzz_link fuzz_files fuzz_station; do
  corpus=build-fuzz/corpus/$target
  mkdir -p "$corpus"
  cp -n fuzz/seeds/$target/* "$corpus"/ 2>/dev/null || true
  echo "== $target for ${seconds}s"
  build-fuzz/fuzz/$target -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
    -artifact_prefix=build-fuzz/artifacts/$target- "$corpus" 2>&1 | tail -n 3
done
echo "fuzzing: no crash, no sanitizer report"
