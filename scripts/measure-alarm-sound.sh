#!/usr/bin/env bash
# Measures the alarm sound on a real PulseAudio server with a null sink, its
# monitor recorded: the console's own sound class (QtAlarmSound) driven by
# tools/alarmdrill through alarm/all-clear cycles (3 s on, 1 s off). Prints
# per cycle whether the alarm was audible (RMS of the monitor in 50 ms
# blocks), whether it beeped, and the start-to-audible latency; then kills
# the server during an alarm and prints the time to the first beep, the
# beep for an alarm while the server is down, and the time to sound again
# once a server is back.
#
#   scripts/measure-alarm-sound.sh [CYCLES]     (default 30; needs build/bin,
#   pulseaudio, pulseaudio-utils and python3)
#
# Not part of the test run.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${DORVAN_BIN_DIR:-$PWD/build/bin}
cycles=${1:-30}
wave=$PWD/data/Error.wav
work=$(mktemp -d /tmp/dorvan-sound.XXXXXX)
export XDG_RUNTIME_DIR=$work/run
mkdir -m 700 "$XDG_RUNTIME_DIR"
export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native
export QT_QPA_PLATFORM=offscreen
rec_pid=""
drill_pid=""

cleanup() {
  [ -n "$drill_pid" ] && kill "$drill_pid" 2>/dev/null || true
  [ -n "$rec_pid" ] && kill "$rec_pid" 2>/dev/null || true
  kill_server
  wait 2>/dev/null || true
  [ -n "${KEEP:-}" ] && echo "kept $work" >&2 || rm -rf "$work"
}
trap cleanup EXIT

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
server_pid() { cat "$XDG_RUNTIME_DIR/pulse/pid" 2>/dev/null || true; }
kill_server() {
  local pid
  pid=$(server_pid)
  [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null || true
  rm -f "$XDG_RUNTIME_DIR/pulse/pid"
}
start_server() {
  pulseaudio -D --system=false --exit-idle-time=-1 -n --log-target=stderr \
    --load="module-null-sink sink_name=nullsink" --load=module-native-protocol-unix 2>>"$work/pulse.log"
  for _ in $(seq 50); do pactl info >/dev/null 2>&1 && return 0; sleep 0.1; done
  echo "pulseaudio did not start" >&2
  exit 1
}
record() {
  parec -d nullsink.monitor --format=s16le --rate=8000 --channels=1 --latency-msec=10 >"$1" &
  rec_pid=$!
}
# The recording is aligned on its end: a server starts sending a monitor's
# samples only once its sink has run.
stop_recording() {
  now_ms >"$1.end"
  kill "$rec_pid"; wait "$rec_pid" 2>/dev/null || true; rec_pid=""
}

# 1. Cycles on a healthy server.
start_server
record "$work/heard.raw"
sleep 0.5
"$bin/dorvan-alarmdrill" "$wave" "$cycles" 3000 1000 >"$work/cycles.txt" 2>"$work/cycles.log"
stop_recording "$work/heard.raw"

python3 - "$work/heard.raw" "$(cat "$work/heard.raw.end")" "$work/cycles.txt" <<'PY'
import array, math, sys, statistics
raw, rec_end, lines = sys.argv[1], int(sys.argv[2]), open(sys.argv[3]).read().split()
samples = array.array('h'); samples.frombytes(open(raw, 'rb').read())
rate, block = 8000, 400                     # 50 ms blocks
rec_start = rec_end - len(samples) * 1000 // rate
def rms(t0, t1):                            # wall-clock ms -> list of block RMS
    out = []
    i = max(0, (t0 - rec_start) * rate // 1000)
    end = min(len(samples), (t1 - rec_start) * rate // 1000)
    while i + block <= end:
        b = samples[i:i + block]
        out.append(math.sqrt(sum(x * x for x in b) / block)); i += block
    return out
events = {}
for k in range(0, len(lines), 3):
    t, what, c = int(lines[k]), lines[k + 1], int(lines[k + 2])
    events.setdefault(c, {}).setdefault(what, t)
def loud_at(t):                             # a 5 ms block at wall-clock ms t
    r = rms5(t)
    return r is not None and r > 300
def rms5(t):
    i = (t - rec_start) * rate // 1000
    if i < 0 or i + 40 > len(samples): return None
    b = samples[i:i + 40]
    return math.sqrt(sum(x * x for x in b) / 40)
audible = beeped = silent = early = 0; lat = []; cover = []
print("cycle audible beeped latency_ms share_of_300ms_windows_with_sound")
for c in sorted(e for e in events if 'start' in events[e]):
    e = events[c]
    blocks = rms(e['start'], e['stop'])
    loud = [i for i, r in enumerate(blocks) if r > 300]
    a = bool(loud); b = 'beeping' in e
    audible += a; beeped += b; silent += not a and not b
    if loud_at(e['start'] - 50): early += 1   # the recording's alignment is off for this cycle
    onset = next((t - e['start'] for t in range(e['start'], e['stop'], 5) if loud_at(t)), None)
    if a:  # Error.wav is 200 ms of tone and 100 ms of silence: judge 300 ms windows
        windows = [blocks[i:i + 6] for i in range(loud[0], len(blocks) - 5, 6)]
        lat.append(onset); cover.append(sum(max(w) > 300 for w in windows) / max(1, len(windows)))
    print(c, int(a), int(b), onset if a else '-', round(cover[-1], 3) if a else '-')
print(f"cycles {len([e for e in events if 'start' in events[e]])}: "
      f"audible {audible}, beeped {beeped}, silent {silent}")
if lat:
    print(f"start->audible latency: median {statistics.median(lat)} ms, max {max(lat)} ms (5 ms blocks; "
          f"{early} cycle(s) sounding already before their start: recording misaligned there); "
          f"share of 300 ms windows with sound after the first: min {min(cover):.3f}")
PY

# 2. The server killed 3 s into an alarm; a second alarm while it is down;
#    a server back 4 s into that alarm.
"$bin/dorvan-alarmdrill" "$wave" 2 10000 1000 >"$work/kill.txt" 2>"$work/kill.log" &
drill_pid=$!
until grep -q "start 0" "$work/kill.txt" 2>/dev/null; do sleep 0.05; done
sleep 3
killed=$(now_ms); kill_server
until grep -q "start 1" "$work/kill.txt" 2>/dev/null; do sleep 0.05; done
sleep 4
restarted=$(now_ms); start_server
wait "$drill_pid" || true; drill_pid=""
python3 - "$work/kill.txt" "$killed" "$restarted" <<'PY'
import sys
lines = open(sys.argv[1]).read().split(); killed, restarted = int(sys.argv[2]), int(sys.argv[3])
ev = [(int(lines[k]), lines[k + 1], int(lines[k + 2])) for k in range(0, len(lines), 3)]
first = lambda what, c, after=0: next((t for t, w, cc in ev if w == what and cc == c and t >= after), None)
b0 = first('beeping', 0, killed)
before = [w for t, w, c in ev if c == 0 and t < killed and w in ('beeping', 'not-beeping')]
if before and before[-1] == 'beeping':
    print("server killed during an alarm: the beep was already on (the stream had stalled before)")
else:
    print(f"server killed during an alarm: first beep after {b0 - killed if b0 else 'never'} ms")
s1, b1 = first('start', 1), first('beeping', 1)
print(f"alarm while the server is down: first beep {b1 - s1 if b1 else 'never'} ms after the start")
h1 = first('heard', 1, restarted)
print(f"server back: sound heard again after {h1 - restarted if h1 else 'not within the alarm'} ms")
PY
grep -c "Звук тревоги не слышен" "$work/cycles.log" "$work/kill.log" | sed 's/^/warnings logged: /'
