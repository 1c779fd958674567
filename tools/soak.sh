#!/usr/bin/env bash
# A long run of the real console (offscreen) against 32 simulated sensors
# (1001-1016 Дорван-301ДК, 2001-2016 Дорван-302ДК, every loop armed), with
# faults injected at a steady rate: line noise, spoilt checksums, replies
# from foreign addresses, replies cut short, short and long silent spells,
# loop trips and restores, sensor fault codes.
#
#   tools/soak.sh [--minutes M] [--rate SECONDS] [--seed N] [--keep]
#
#   --minutes M     length of the run after all links are up (default 10)
#   --rate SECONDS  one injected fault every SECONDS on average (default 2)
#   --seed N        seed of the fault choice (default: the process id)
#   --keep          keep the working directory (it is kept anyway on failure)
#
# At the end it compares the simulator's counts with the console's counters
# (SIGUSR1 / exit line on standard error), and the events in the day's files
# with those the simulator's request log calls for (soakcheck). It fails
# (exit 1) when an event is missing or invented, or when the console's
# resident memory grew by more than 2 MB after the first minute.
#
# Each sensor has at most one episode at a time, held for at least two poll
# passes (32 sensors: 3.2 s a pass) and followed by two quiet passes, and
# nothing changes in a sensor while it is silent: so the console sees every
# state the simulator shows and the expected events are exact.
#
# Needs build/bin (or DORVAN_BIN_DIR) with dorvan-console, dorvan-sim and
# soakcheck. Not part of the test run.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${DORVAN_BIN_DIR:-$PWD/build/bin}
minutes=10
rate=2
seed=$$
keep=0
while [ $# -gt 0 ]; do
  case "$1" in
    --minutes) minutes=$2; shift 2 ;;
    --rate) rate=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    *) echo "usage: $0 [--minutes M] [--rate SECONDS] [--seed N] [--keep]" >&2; exit 2 ;;
  esac
done
for tool in dorvan-console dorvan-sim soakcheck; do
  [ -x "$bin/$tool" ] || { echo "missing $bin/$tool: build first (cmake --build build)" >&2; exit 2; }
done
RANDOM=$seed

work=$(mktemp -d /tmp/dorvan-soak.XXXXXX)
sensors=(--sensor 1001-1016:0 --sensor 2001-2016:1)
addresses=($(seq 1001 1016) $(seq 2001 2016))
sim_pid=""
console_pid=""
failed=0

cleanup() {
  [ -n "$console_pid" ] && kill "$console_pid" 2>/dev/null || true
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  if [ "$keep" = 1 ] || [ "$failed" != 0 ]; then
    echo "working directory kept: $work"
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
sim() { echo "$*" >"$work/sim.cmd"; }
# Events with the given code in all day files.
count_events() {
  cat "$work"/QReport/* 2>/dev/null | od -An -v -tu1 -w328 | awk -v code="$1" '$17 == code { n++ } END { print n + 0 }'
}
status_field() { awk -v f="$2" '$1 == f":" { print $2 }' "/proc/$1/status"; }
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
# A field of a "name=value name=value" line.
field() { tr ' ' '\n' <<<"$1" | awk -F= -v f="$2" '$1 == f { print $2 }'; }

"$bin/dorvan-sim" --make-demo "$work" "${sensors[@]}"
"$bin/dorvan-sim" --workdir "$work" "${sensors[@]}" --log-file "$work/sim.log" \
  --commands "$work/sim.cmd" --stats-file "$work/sim.stats" </dev/null >"$work/sim.out" 2>&1 &
sim_pid=$!
until [ -L "$work/ports/COM1" ] && [ -p "$work/sim.cmd" ]; do sleep 0.05; done

mkdir -p "$work/runtime" && chmod 700 "$work/runtime"
(cd "$work" && QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/runtime" exec "$bin/dorvan-console" --workdir "$work") \
  >"$work/console.out" 2>"$work/console.err" &
console_pid=$!

deadline=$(( $(now_ms) + 30000 ))
until [ "$(count_events 32)" -ge 32 ]; do
  if [ "$(now_ms)" -gt "$deadline" ]; then
    echo "the console did not bring up all 32 links within 30 s" >&2
    failed=1
    exit 1
  fi
  sleep 0.2
done

# --- the fault schedule --------------------------------------------------------
declare -A episode_end=()   # address -> ms when its episode ends
declare -A episode_undo=()  # address -> the command that ends it
declare -A quiet_until=()   # address -> ms before which it gets no new episode
declare -A injected=()
for a in "${addresses[@]}"; do quiet_until[$a]=0; done

between() { echo $(( $1 + RANDOM % ($2 - $1 + 1) )); }

idle_sensor() {
  local now=$1 candidates=() a
  for a in "${addresses[@]}"; do
    [ -z "${episode_end[$a]:-}" ] && [ "${quiet_until[$a]}" -le "$now" ] && candidates+=("$a")
  done
  [ ${#candidates[@]} -gt 0 ] && echo "${candidates[RANDOM % ${#candidates[@]}]}"
  return 0
}

start_episode() {
  local now=$1 kind=$2 a
  a=$(idle_sensor "$now")
  [ -n "$a" ] || return 1
  case "$kind" in
    trip)   local loop=$(( 1 + RANDOM % 2 ))
            sim "trip $a $loop"; episode_undo[$a]="restore $a $loop"
            episode_end[$a]=$(( now + $(between 7000 12000) )) ;;
    fault)  local codes=(2 3 4 5 7 8 9 10 11) code
            code=${codes[RANDOM % ${#codes[@]}]}
            sim "fault $a $code"; episode_undo[$a]="fault $a 0"
            episode_end[$a]=$(( now + $(between 7000 12000) )) ;;
    short)  sim "silent $a"; episode_undo[$a]="answer $a"
            episode_end[$a]=$(( now + $(between 2000 5000) )) ;;
    long)   sim "silent $a"; episode_undo[$a]="answer $a"
            episode_end[$a]=$(( now + $(between 45000 60000) )) ;;
  esac
  injected[$kind]=$(( ${injected[$kind]:-0} + 1 ))
}

end_episodes() {
  local now=$1 a
  for a in "${!episode_end[@]}"; do
    if [ "${episode_end[$a]}" -le "$now" ]; then
      sim "${episode_undo[$a]}"
      unset "episode_end[$a]" "episode_undo[$a]"
      quiet_until[$a]=$(( now + 7000 ))
    fi
  done
}

inject() {
  local now=$1 pick=$(( RANDOM % 100 )) kind
  if   [ $pick -lt 14 ]; then kind=noise;   sim "noise $(between 1 60)"
  elif [ $pick -lt 28 ]; then kind=badcrc;  sim "badcrc"
  elif [ $pick -lt 40 ]; then kind=foreign; sim "foreign"
  elif [ $pick -lt 52 ]; then kind=drop;    sim "drop $(between 1 4)"
  elif [ $pick -lt 70 ]; then start_episode "$now" trip && return; kind=noise; sim "noise 8"
  elif [ $pick -lt 84 ]; then start_episode "$now" fault && return; kind=noise; sim "noise 8"
  elif [ $pick -lt 94 ]; then start_episode "$now" short && return; kind=noise; sim "noise 8"
  else start_episode "$now" long && return; kind=noise; sim "noise 8"
  fi
  injected[$kind]=$(( ${injected[$kind]:-0} + 1 ))
}

# --- the run -------------------------------------------------------------------
hz=$(getconf CLK_TCK)
start_ms=$(now_ms)
end_ms=$(( start_ms + minutes * 60000 ))
ticks0=$(cpu_ticks "$console_pid")
rate_ms=$(awk -v r="$rate" 'BEGIN { printf "%d", r * 1000 }')
next_fault=$(( start_ms + rate_ms ))
next_sample=$start_ms
rss_first=$(status_field "$console_pid" VmRSS)
rss_minute=""
rss_max=0
samples=0
while :; do
  now=$(now_ms)
  [ "$now" -ge "$end_ms" ] && break
  if ! kill -0 "$console_pid" 2>/dev/null; then
    echo "the console has ended during the run" >&2
    failed=1
    break
  fi
  end_episodes "$now"
  if [ "$now" -ge "$next_fault" ]; then
    inject "$now"
    # Exponential-looking spread around the rate, never bunched closer than 100 ms.
    next_fault=$(( now + 100 + RANDOM % (2 * rate_ms) ))
  fi
  if [ "$now" -ge "$next_sample" ]; then
    rss=$(status_field "$console_pid" VmRSS)
    samples=$(( samples + 1 ))
    [ "$rss" -gt "$rss_max" ] && rss_max=$rss
    [ -z "$rss_minute" ] && [ $(( now - start_ms )) -ge 60000 ] && rss_minute=$rss
    next_sample=$(( now + 2000 ))
  fi
  sleep 0.1
done

# Every episode ends and two more passes let the console see the end states
# (a long silence answered brings its link back at the sensor's next turn).
end_episodes $(( end_ms + 3600000 ))
sleep 8
ticks1=$(cpu_ticks "$console_pid")
elapsed_ms=$(( $(now_ms) - start_ms ))
rss_last=$(status_field "$console_pid" VmRSS)
hwm=$(status_field "$console_pid" VmHWM)
[ "$rss_last" -gt "$rss_max" ] && rss_max=$rss_last
[ -z "$rss_minute" ] && rss_minute=$rss_last

kill -USR1 "$console_pid"
sleep 0.5
kill -TERM "$console_pid"
exit_code=0
wait "$console_pid" || exit_code=$?
console_pid=""
kill -TERM "$sim_pid"
wait "$sim_pid" || true
sim_pid=""

console_stats=$(grep '^stats ' "$work/console.err" | tail -1)
sim_stats=$(cat "$work/sim.stats")
c() { field "$console_stats" "$1"; }
s() { field "$sim_stats" "$1"; }

report="$work/report.txt"
{
  echo "Soak: 32 sensors, $(( elapsed_ms / 1000 )) s of faults at one per ~$rate s (seed $seed)"
  echo "injected: noise $(s noise) bursts ($(s noise_bytes) bytes), bad checksums $(s badcrc), foreign replies $(s foreign), replies cut short $(s drops)"
  echo "state changes: trips $(s trips), restores $(s restores), faults $(s faults), fault clears $(s fault_clears), silent spells $(s silences) ($(s long_silences) long enough to lose the link), answers $(s answers)"
  echo "requests: console sent $(c tx_frames), simulator received $(s requests) (polls $(s polls), set requests $(s set_requests), to silent sensors $(s unanswered))"
  echo "replies: simulator sent $(s replies) ($(s clean_replies) whole, $(s lost_replies) not writable), console accepted $(c rx_frames)"
  echo "checksum errors: console counted $(c crc_errors), injected $(s badcrc) bad checksums + $(s drops) replies cut short"
  echo "time-outs counted by the console: $(c timeouts)"
  echo "line bytes: console sent $(c tx_bytes), received $(c rx_bytes)"
  echo "console exit code after SIGTERM: $exit_code"
  echo "console memory: VmRSS at start $rss_first kB, after the first minute $rss_minute kB, peak sampled $rss_max kB, final $rss_last kB, VmHWM $hwm kB ($samples samples)"
  awk -v t="$(( ticks1 - ticks0 ))" -v hz="$hz" -v ms="$elapsed_ms" \
    'BEGIN { printf "console CPU: %.2f s over %.0f s wall = %.2f %% of one core\n", t / hz, ms / 1000, 100 * t / hz / (ms / 1000) }'
} >"$report"

if ! "$bin/soakcheck" "$work" "$work/sim.log" >>"$report"; then
  failed=1
fi
growth=$(( rss_last - rss_minute ))
echo "resident memory growth after the first minute: $growth kB (limit 2048 kB)" >>"$report"
if [ "$growth" -gt 2048 ]; then
  echo "FAIL: resident memory grew by more than 2 MB" >>"$report"
  failed=1
fi
[ "$exit_code" -ne 0 ] && failed=1
[ "$failed" = 0 ] && echo "PASS" >>"$report" || echo "FAIL" >>"$report"
cat "$report"
exit "$failed"
