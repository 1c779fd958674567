#!/usr/bin/env bash
# Measures the console on a full line: 32 simulated sensors (16 of each
# model), the console running offscreen in a temporary working directory.
# Prints the request interval (median, 99th percentile) from the simulator's
# request log, the trip-to-event latency (a loop tripped at the simulator
# until event 33 appears in the day's event file) and the console's CPU use.
# With --with-uplink a dorvan-uplink runs beside the console, publishing to a
# mosquitto of its own on a free port, so the two runs can be compared.
#
# With --without-trends the console records no signal trends (data/trends.ini).
#
#   scripts/measure-line.sh [--with-uplink] [--without-trends] [SECONDS]     (default 60; needs build/bin)
#
# Not part of the test run.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${DORVAN_BIN_DIR:-$PWD/build/bin}
with_uplink=0
without_trends=0
while [ "${1:-}" = "--with-uplink" ] || [ "${1:-}" = "--without-trends" ]; do
  [ "$1" = "--with-uplink" ] && with_uplink=1
  [ "$1" = "--without-trends" ] && without_trends=1
  shift
done
seconds=${1:-60}
work=$(mktemp -d /tmp/dorvan-measure.XXXXXX)
sensors=(--sensor 1001-1016:0 --sensor 2001-2016:1)
sim_pid=""
console_pid=""
broker_pid=""
uplink_pid=""

cleanup() {
  [ -n "$uplink_pid" ] && kill "$uplink_pid" 2>/dev/null || true
  [ -n "$broker_pid" ] && kill "$broker_pid" 2>/dev/null || true
  [ -n "$console_pid" ] && kill "$console_pid" 2>/dev/null || true
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
daily_file() { echo "$work/QReport/$(date +%d.%m.%Y)"; }
# Number of records with the given event code in the day's event file.
count_events() {
  local file; file=$(daily_file)
  [ -f "$file" ] || { echo 0; return; }
  od -An -v -tu1 -w328 "$file" | awk -v code="$1" '$17 == code { n++ } END { print n + 0 }'
}

"$bin/dorvan-sim" --make-demo "$work" "${sensors[@]}"
# The signal trends are recorded unless asked otherwise, for a comparison.
[ "$without_trends" = 1 ] && echo "record=false" >"$work/data/trends.ini"
"$bin/dorvan-sim" --workdir "$work" "${sensors[@]}" --log-file "$work/sim.log" \
  --commands "$work/sim.cmd" </dev/null >"$work/sim.out" 2>&1 &
sim_pid=$!
until [ -L "$work/ports/COM1" ] && [ -p "$work/sim.cmd" ]; do sleep 0.05; done

if [ "$with_uplink" = 1 ]; then
  # A broker of its own on a port nothing listens on, and the uplink.
  mosquitto=$(command -v mosquitto || echo /usr/sbin/mosquitto)
  for _ in $(seq 1 20); do
    port=$(( 20000 + RANDOM % 40000 ))
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && continue
    printf 'listener %s 127.0.0.1\nallow_anonymous true\n' "$port" >"$work/mosquitto.conf"
    "$mosquitto" -c "$work/mosquitto.conf" >"$work/mosquitto.log" 2>&1 &
    broker_pid=$!
    for _ in $(seq 1 50); do
      (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break 2
      sleep 0.1
    done
    kill "$broker_pid" 2>/dev/null || true
    broker_pid=""
  done
  [ -n "$broker_pid" ] || { echo "could not start mosquitto" >&2; exit 1; }
  "$bin/dorvan-uplink" --workdir "$work" --host 127.0.0.1 --port "$port" --site measure 2>"$work/uplink.log" &
  uplink_pid=$!
fi

mkdir -p "$work/runtime" && chmod 700 "$work/runtime"
(cd "$work" && QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/runtime" exec "$bin/dorvan-console" --workdir "$work") \
  >"$work/console.out" 2>&1 &
console_pid=$!

# Every sensor answers once per pass (3.2 s); the first passes also carry
# the link-restored set requests. Start measuring when all 32 are up.
deadline=$(( $(now_ms) + 30000 ))
until [ "$(count_events 32)" -ge 32 ]; do
  if [ "$(now_ms)" -gt "$deadline" ]; then
    echo "the console did not bring up all 32 links within 30 s" >&2
    exit 1
  fi
  sleep 0.2
done

start_us=$(awk '$2 == "req" { t = $1 } END { print t }' "$work/sim.log")
start_ms=$(now_ms)
ticks0=$(cpu_ticks "$console_pid")
[ -n "$uplink_pid" ] && uplink_ticks0=$(cpu_ticks "$uplink_pid")
latencies=()
trip=0
end_ms=$(( start_ms + seconds * 1000 ))
while [ $(( $(now_ms) + 4000 )) -lt "$end_ms" ]; do
  address=$(( trip % 2 == 0 ? 1001 + trip / 2 % 16 : 2001 + trip / 2 % 16 ))
  before=$(count_events 33)
  sent=$(now_ms)
  echo "trip $address 1" >"$work/sim.cmd"
  until [ "$(count_events 33)" -gt "$before" ] || [ $(( $(now_ms) - sent )) -gt 10000 ]; do sleep 0.01; done
  latencies+=($(( $(now_ms) - sent )))
  echo "restore $address 1" >"$work/sim.cmd"
  trip=$(( trip + 1 ))
  sleep 1
done
while [ "$(now_ms)" -lt "$end_ms" ]; do sleep 0.2; done
ticks1=$(cpu_ticks "$console_pid")
[ -n "$uplink_pid" ] && uplink_ticks1=$(cpu_ticks "$uplink_pid")
elapsed_ms=$(( $(now_ms) - start_ms ))

hz=$(getconf CLK_TCK)
echo "Line of 32 sensors, measured over $(( elapsed_ms / 1000 )) s$([ -n "$uplink_pid" ] && echo ", dorvan-uplink beside the console")"
awk -v from="$start_us" '$2 == "req" && $1 >= from { if (last) print ($1 - last) / 1000; last = $1 }' "$work/sim.log" |
  sort -n | awk '{ v[NR] = $1 } END {
    if (NR == 0) { print "request interval: no requests logged"; exit }
    p99 = int(NR * 0.99 + 0.999); if (p99 > NR) p99 = NR
    printf "request interval: median %.1f ms, p99 %.1f ms (%d intervals)\n", v[int((NR + 1) / 2)], v[p99], NR }'
printf '%s\n' "${latencies[@]}" | sort -n | awk '{ v[NR] = $1 } END {
    if (NR == 0) { print "trip-to-event latency: no trips"; exit }
    printf "trip-to-event latency: median %d ms, max %d ms (%d trips; one pass of 32 sensors is 3.2 s)\n",
      v[int((NR + 1) / 2)], v[NR], NR }'
awk -v t="$(( ticks1 - ticks0 ))" -v hz="$hz" -v ms="$elapsed_ms" \
  'BEGIN { printf "console CPU: %.1f %% of one core\n", 100 * t / hz / (ms / 1000) }'
if [ -n "$uplink_pid" ]; then
  awk -v t="$(( uplink_ticks1 - uplink_ticks0 ))" -v hz="$hz" -v ms="$elapsed_ms" \
    'BEGIN { printf "uplink CPU: %.1f %% of one core\n", 100 * t / hz / (ms / 1000) }'
  kill -0 "$uplink_pid" 2>/dev/null || { echo "the uplink has ended: $(cat "$work/uplink.log")" >&2; exit 1; }
  grep -q "connected to" "$work/uplink.log" || { echo "the uplink never connected: $(cat "$work/uplink.log")" >&2; exit 1; }
fi
