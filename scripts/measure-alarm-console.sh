#!/usr/bin/env bash
# The alarm sound of the real console: the console under Xvfb against the
# simulator (the demo's four sensors), on a PulseAudio null sink whose monitor
# is recorded. CYCLES times: trip 1001 loop 1, 3 s, click "Отбой тревог",
# restore. Then the server is killed 2.5 s into an alarm, and one more alarm
# is raised while it is down; the console's log gives the beep decisions.
# Prints alarms audible and silent, trip-to-audible latency, and the log lines
# of the sound.
#
#   scripts/measure-alarm-console.sh [CYCLES]    (default 30; needs build/bin,
#   Xvfb, xdotool, pulseaudio, pulseaudio-utils, python3)
#
# Not part of the test run.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${DORVAN_BIN_DIR:-$PWD/build/bin}
n=${1:-30}
work=$(mktemp -d /tmp/dorvan-alarm-console.XXXXXX)
demo=$work/demo
export XDG_RUNTIME_DIR=$work/run
mkdir -m 700 "$XDG_RUNTIME_DIR"
export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native
pids=()
cleanup() {
  kill -9 "$(cat "$XDG_RUNTIME_DIR/pulse/pid" 2>/dev/null)" 2>/dev/null || true
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  [ -n "${KEEP:-}" ] && echo "kept $work" >&2 || rm -rf "$work"
}
trap cleanup EXIT
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

pulseaudio -D --system=false --exit-idle-time=-1 -n --load="module-null-sink sink_name=nullsink" \
  --load=module-native-protocol-unix 2>"$work/pulse.log"
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
display=:$((70 + RANDOM % 20))
Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
sleep 1
"$bin/dorvan-console" --init "$demo" >/dev/null
"$bin/dorvan-sim" --make-demo "$demo" >/dev/null
mkfifo "$demo/sim.cmd"
( until [ -L "$demo/ports/COM1" ]; do sleep 0.1; done; cd "$demo"; exec "$bin/dorvan-console" --workdir "$demo" ) \
  2>"$work/console.log" &
console=$!
pids+=($console)
"$bin/dorvan-sim" --workdir "$demo" --port 1 --sensor 1001:0 --sensor 1002:0 --sensor 2001:1 --sensor 2002:1 \
  --commands "$demo/sim.cmd" --watch-pid "$console" >"$work/sim.log" 2>&1 &
pids+=($!)
sleep 6
parec -d nullsink.monitor --format=s16le --rate=8000 --channels=1 --latency-msec=10 >"$work/heard.raw" &
rec=$!
exec 3>"$demo/sim.cmd"

all_clear() {
  local w
  w=$(xdotool search --name "Окно тревожных сообщений" | head -1)
  eval "$(xdotool getwindowgeometry --shell "$w")"
  # "Отбой тревог" sits in the window's bottom right corner.
  xdotool mousemove $((X + WIDTH - 60)) $((Y + HEIGHT - 20)) click 1
}

for i in $(seq 0 $((n - 1))); do
  echo "$(now_ms) trip" >>"$work/marks"
  echo "trip 1001 1" >&3
  sleep 3
  all_clear
  echo "$(now_ms) clear" >>"$work/marks"
  echo "restore 1001 1" >&3
  sleep 1.5
done
echo "$(now_ms) end" >>"$work/marks"
kill "$rec"

echo "trip 1001 1" >&3; sleep 2.5
killed=$(now_ms)
kill -9 "$(cat "$XDG_RUNTIME_DIR/pulse/pid")"
sleep 3; all_clear; echo "restore 1001 1" >&3; sleep 1.5
down_trip=$(now_ms)
echo "trip 1001 1" >&3; sleep 3; all_clear; echo "restore 1001 1" >&3; sleep 1

python3 - "$work" <<'PY'
import array, math, statistics, sys
d = sys.argv[1]
s = array.array('h'); s.frombytes(open(d + '/heard.raw', 'rb').read())
marks = [l.split() for l in open(d + '/marks')]
end = int(marks[-1][0]); start = end - len(s) * 1000 // 8000   # aligned on the recording's end
def loud(t):
    i = (t - start) * 8; b = s[i:i + 40]
    return len(b) == 40 and math.sqrt(sum(x * x for x in b) / 40) > 300
trips = [int(m[0]) for m in marks if m[1] == 'trip']; clears = [int(m[0]) for m in marks if m[1] == 'clear']
lat = []; silent = 0; cover = []; after = []
for tr, cl in zip(trips, clears):
    on = next((t for t in range(tr, cl, 5) if loud(t)), None)
    if on is None:
        silent += 1; continue
    lat.append(on - tr)
    w = [any(loud(t + k) for k in range(0, 300, 5)) for t in range(on, cl - 300, 300)]
    cover.append(sum(w) / max(1, len(w)))
    after.append(max((t for t in range(cl - 400, cl + 1500, 5) if loud(t)), default=cl) - cl)
print(f"alarms {len(trips)}: audible {len(lat)}, silent {silent}; trip->audible median {statistics.median(lat)} ms, "
      f"max {max(lat)} ms; min share of 300 ms windows with sound {min(cover):.3f}; "
      f"last sound relative to the all-clear click: max {max(after)} ms")
PY
echo "server killed at $(date -u -d @$((killed / 1000)) +%T).$(printf %03d $((killed % 1000))) UTC;" \
     "alarm while it is down at $(date -u -d @$((down_trip / 1000)) +%T).$(printf %03d $((down_trip % 1000)))"
grep -E "Звук тревоги|Stream error" "$work/console.log" || true
