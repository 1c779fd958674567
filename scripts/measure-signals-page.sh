#!/usr/bin/env bash
# Measures what the page "Сигналы" costs the line: the real console on a
# full line (32 simulated sensors) in a real window under Xvfb + openbox,
# driven with xdotool, on a 7-day trend store of all 32 sensors and a 33 MB
# event file of 302 № 2001 (100,000 trips and returns in its last 24 hours,
# made by make_trend_fixture). Sensor 2001, both loops disarmed so that no
# alarm window comes up over the page, reports a fault of its loop 1 and
# normal again every 4 s throughout, so its event file grows while the page
# shows it.
#
# Phases, each marked in the simulator's request log by a "log on" command:
#   closed    the sensor grid on screen, the page never shown
#   24h       the page, sensor 2001, "24 часа" (100,000 events in range)
#   7d        "7 суток" for 65 s (one refresh a minute)
#   zoom      from 24 hours: the wheel at the right end (now) out to 47 hours
#             and back, repeatedly
#   export    three exports of the last 47 hours (samples) to CSV
#   closed2   the sensor grid again
# For each: median, 99th percentile and maximum of the interval between two
# requests as the simulator received them (the line polls every 100 ms).
#
#   scripts/measure-signals-page.sh [DISPLAY_NUMBER] [SHOTS_DIR]   (default 62; needs build/bin)
#
# Screen positions are those of the main window at 1280x1000 at the screen's
# top left. Not part of the test run.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${DORVAN_BIN_DIR:-$PWD/build/bin}
fixture=${DORVAN_FIXTURE_BIN:-$PWD/build/bin/make_trend_fixture}
display=:${1:-62}
shots=${2:-}
work=$(mktemp -d /tmp/dorvan-signals.XXXXXX)
sensors=(--sensor 1001-1016:0 --sensor 2001-2016:1)
pids=()

cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

export DISPLAY=$display
Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
pids+=($!)

"$bin/dorvan-sim" --make-demo "$work" "${sensors[@]}" >/dev/null
"$fixture" "$work"
printf '\0\0' | dd of="$work/Dorvan302DK/2001" bs=1 seek=48 conv=notrunc status=none # armed1, armed2
"$bin/dorvan-sim" --workdir "$work" "${sensors[@]}" --log-file "$work/sim.log" \
  --commands "$work/sim.cmd" </dev/null >"$work/sim.out" 2>&1 &
pids+=($!)
until [ -L "$work/ports/COM1" ] && [ -p "$work/sim.cmd" ]; do sleep 0.05; done
mkdir -p "$work/runtime" && chmod 700 "$work/runtime"
(cd "$work" && XDG_RUNTIME_DIR="$work/runtime" exec "$bin/dorvan-console" --workdir "$work") \
  >"$work/console.out" 2>&1 &
pids+=($!)

window=""
for _ in $(seq 1 100); do
  window=$(xdotool search --name "Пульт контроля" 2>/dev/null | head -1 || true)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "no console window" >&2; exit 1; }
sleep 3 # every link up
xdotool windowmove "$window" 0 0
xdotool windowsize "$window" 1280 1000
sleep 0.5

mark() { echo "log on" >"$work/sim.cmd"; phases+=("$1"); }
shot() { [ -n "$shots" ] && import -window root "$shots/$1.png" || true; }
click() { xdotool mousemove "$1" "$2" click 1; }
range() { # opens the period list and picks item $1 (0 = 10 minutes ... 3 = 7 days)
  xdotool windowactivate --sync "$window" 2>/dev/null || true
  click 418 101; sleep 0.4
  xdotool key Home
  for _ in $(seq 1 "$1"); do xdotool key Down; done
  xdotool key Return
}
wheel() { xdotool mousemove 1236 500; for _ in $(seq 1 "$2"); do xdotool click "$1"; sleep 0.05; done; }

# Sensor 2001's fault and return every 4 s, for as long as the measurement runs.
( while :; do echo "fault 2001 2" >"$work/sim.cmd"; sleep 2; echo "fault 2001 0" >"$work/sim.cmd"; sleep 2; done ) &
pids+=($!)

phases=()
click 100 473 # grid row 17: 302 № 2001
mark closed; sleep 40
click 371 75 # the tab "Сигналы"
sleep 1
range 2 # 10 minutes → 24 hours
mark 24h; sleep 3; shot page-24h; sleep 37
range 3 # → 7 days
mark 7d; sleep 3; shot page-7d; sleep 62
range 2 # 24 hours again
sleep 2
mark zoom
for _ in $(seq 1 5); do wheel 5 3; sleep 2.5; wheel 4 3; sleep 2.5; done
wheel 5 3; sleep 2; shot page-47h
mark export
for n in 1 2 3; do
  click 1235 101; sleep 1.5
  [ "$n" = 1 ] && shot export-dialog
  xdotool type --delay 5 "$work/export-$n.csv"; xdotool key Return
  sleep 8
done
click 37 75 # the tab "Датчики"
mark closed2; sleep 30
mark end
sleep 0.5
echo "event file of 2001: $(( $(stat -c %s "$work/Dorvan302DK_mess/2001") / 328 )) records at the end"

ls -la "$work"/export-*.csv 2>/dev/null | awk '{ print "export: " $5 " bytes " $9 }' || echo "no export written"
# Each interval counts in the phase where it ends; a phase in which the
# line was not polled at all shows as one long interval in the next.
awk -v names="${phases[*]}" '
  BEGIN { n = split(names, name, " ") }
  $2 == "cmd" && $3 == "log" { phase++; next }
  $2 == "req" && phase >= 1 {
    if (last && phase < n) print name[phase], ($1 - last) / 1000
    last = $1
  }' "$work/sim.log" >"$work/intervals"
for phase in "${phases[@]}"; do
  [ "$phase" = end ] && continue
  awk -v p="$phase" '$1 == p { print $2 }' "$work/intervals" | sort -n | awk -v p="$phase" '
    { v[NR] = $1 }
    END {
      if (NR == 0) { printf "%-8s no request at all\n", p; exit }
      p99 = int(NR * 0.99 + 0.999); if (p99 > NR) p99 = NR
      printf "%-8s median %6.1f ms  p99 %6.1f ms  max %7.1f ms  (%d intervals)\n", p, v[int((NR + 1) / 2)], v[p99], v[NR], NR }'
done
grep -i "warn\|critical" "$work/console.out" | head -5 || true
