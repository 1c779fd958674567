#!/usr/bin/env bash
# Central monitoring on one machine: a mosquitto broker on a free localhost
# port, two guard posts (demo-central/post1 and demo-central/post2), each a
# console on its own simulated line with a dorvan-uplink beside it, the
# central station dorvan-station (demo-central/station) watching both, and
# mosquitto_sub showing the events as they pass the broker.
#
# This terminal takes simulator commands for either post, for example
#   post1 trip 1001 1      post2 fault 4001 9      post1 silent 1002
# and shows the messages as they arrive. "quit" (or Ctrl-D) ends it all.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bin=$root/build/bin
demo=$root/demo-central

scripts/install-deps.sh
scripts/build.sh dorvan-console dorvan-sim dorvan-uplink dorvan-station

mosquitto=$(command -v mosquitto || echo /usr/sbin/mosquitto)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: the two consoles run offscreen (QT_QPA_PLATFORM=offscreen); their events still"
  echo "arrive below. Run this from a desktop session to see their windows."
  export QT_QPA_PLATFORM=offscreen
  mkdir -p "$demo/runtime" && chmod 700 "$demo/runtime"
  export XDG_RUNTIME_DIR=$demo/runtime
fi

# The broker on a port nothing listens on, with a configuration of its own
# (never the system's broker on 1883).
mkdir -p "$demo"
port=""
for _ in $(seq 1 20); do
  candidate=$(( 20000 + RANDOM % 40000 ))
  if (exec 3<>"/dev/tcp/127.0.0.1/$candidate") 2>/dev/null; then continue; fi
  printf 'listener %s 127.0.0.1\nallow_anonymous true\n' "$candidate" >"$demo/mosquitto.conf"
  "$mosquitto" -c "$demo/mosquitto.conf" >"$demo/mosquitto.log" 2>&1 &
  broker=$!
  for _ in $(seq 1 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$candidate") 2>/dev/null && { port=$candidate; break; }
    kill -0 "$broker" 2>/dev/null || break
    sleep 0.1
  done
  if [ -n "$port" ]; then pids+=("$broker"); break; fi
  kill "$broker" 2>/dev/null || true
done
[ -n "$port" ] || { echo "could not start mosquitto (see $demo/mosquitto.log)" >&2; exit 1; }

# The events of both sites as they pass the broker.
mosquitto_sub -h 127.0.0.1 -p "$port" -t 'dorvan/+/event' -v &
pids+=($!)

start_post() {
  local name=$1; shift
  local dir=$demo/$name
  mkdir -p "$dir"
  if [ ! -e "$dir/data/hw.dat" ]; then
    "$bin/dorvan-console" --init "$dir" >/dev/null
    "$bin/dorvan-sim" --make-demo "$dir" "$@"
  fi
  "$bin/dorvan-uplink" --workdir "$dir" --host 127.0.0.1 --port "$port" --site "$name" 2>"$dir/uplink.log" &
  pids+=($!)
  rm -f "$dir/ports/COM1"
  "$bin/dorvan-sim" --workdir "$dir" "$@" --commands "$dir/sim.cmd" </dev/null >"$dir/sim.log" 2>&1 &
  pids+=($!)
  until [ -L "$dir/ports/COM1" ] && [ -p "$dir/sim.cmd" ]; do sleep 0.1; done
  (cd "$dir" && exec "$bin/dorvan-console" --workdir "$dir") 2>"$dir/console.log" &
  pids+=($!)
}

start_post post1 --sensor 1001:0 --sensor 1002:0 --sensor 2001:1 --sensor 2002:1
start_post post2 --sensor 3001:0 --sensor 4001:1

# The central station, with one duty operator.
station=$demo/station
mkdir -p "$station"
if [ ! -e "$station/operators" ]; then
  printf 'dorvan\n' | "$bin/dorvan-station" --data-dir "$station" --add-operator "Дежурный" >/dev/null
fi
"$bin/dorvan-station" --data-dir "$station" --host 127.0.0.1 --port "$port" --client-id dorvan-station-demo \
  2>"$station/station.log" &
pids+=($!)

cat <<EOF

Broker: mosquitto on 127.0.0.1:$port (its log: demo-central/mosquitto.log).
post1: sensors 1001, 1002 (Дорван-301ДК), 2001, 2002 (Дорван-302ДК); post2: 3001 and 4001.
Every loop is armed. Each post's console, simulator and uplink log to demo-central/<post>/.
The station's window shows both posts; sign in as "Дежурный" with the password dorvan to
acknowledge (its journal: demo-central/station/journal.sqlite, log: demo-central/station/station.log).
Type "<post> <simulator command>", for example:
  post1 trip 1001 1       loop 1 of 1001 trips: an "alarm" event and its state
  post1 restore 1001 1    and back to normal
  post2 fault 4001 9      EEPROM error of 4001
  post2 silent 3001       3001 stops answering: "link_lost" after 9 polls
Other terminals can subscribe too:
  mosquitto_sub -h 127.0.0.1 -p $port -t 'dorvan/+/sensor/+/state' -v
"quit" or Ctrl-D ends everything.

EOF

while read -r -p "central> " post command; do
  case "$post" in
    quit|exit) break ;;
    post1|post2) [ -n "$command" ] && echo "$command" >"$demo/$post/sim.cmd" ;;
    "") ;;
    *) echo "start with post1 or post2, e.g.: post1 trip 1001 1" ;;
  esac
done
