#!/usr/bin/env bash
# Installs what is missing, builds, prepares demo/ with four sensors already
# connected (1001 and 1002 of model 301, 2001 and 2002 of model 302) and runs
# the console in it against the sensor-line simulator.
#
# The console opens its window; this terminal becomes the simulator's prompt,
# where you trip loops, raise faults or silence sensors. Closing the console
# ends the simulator too.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bin=$root/build/bin
demo=$root/demo

scripts/install-deps.sh
scripts/build.sh dorvan-console dorvan-sim

"$bin/dorvan-console" --init "$demo" >/dev/null
if [ -e "$demo/data/hw.dat" ]; then
  echo "demo/ is kept from an earlier run (its sensors, arming and events); remove it for a fresh start."
else
  "$bin/dorvan-sim" --make-demo "$demo"
  echo "demo/ prepared: sensors 1001, 1002 (Дорван-301ДК) and 2001, 2002 (Дорван-302ДК) connected,"
  echo "loops armed: 1001 Ш1+Ш2, 2001 Ш1, 2002 Ш2; operator Иванов; password 482915."
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo
  echo "No display: neither DISPLAY nor WAYLAND_DISPLAY is set, and the console is a desktop"
  echo "program. Run scripts/demo.sh from a desktop session (or over ssh -X)."
  exit 1
fi

# A link left by an earlier run points at a pseudo-terminal that is gone;
# the console must wait for the simulator's fresh one.
rm -f "$demo/ports/COM1"
(
  until [ -L "$demo/ports/COM1" ]; do sleep 0.1; done
  cd "$demo"
  exec "$bin/dorvan-console" --workdir "$demo"
) 2>"$demo/console.log" &
console=$!
trap 'kill "$console" 2>/dev/null || true' EXIT

cat <<EOF

The console starts in demo/ (its messages go to demo/console.log).
Type simulator commands at the "sim>" prompt below, for example:
  trip 1001 1        loop 1 of sensor 1001 trips: alarm window, event 33
  restore 1001 1     the loop is back to normal
  fault 2001 9       EEPROM error of sensor 2001 (always an alarm)
  silent 1002        sensor 1002 stops answering: "Нет связи" after 9 polls
  burst 2001 1 2 5   loop 1 of 2001 jumps for 5 s (see the page "Сигналы")
  answer 1002        and answers again
  list               what every simulated sensor reports
  help               all commands; quit ends the simulator
From another terminal: echo "trip 2001 1" > demo/sim.cmd
Closing the console (Alt+X) ends the simulator too.

EOF

"$bin/dorvan-sim" --workdir "$demo" --port 1 \
  --sensor 1001:0 --sensor 1002:0 --sensor 2001:1 --sensor 2002:1 \
  --commands "$demo/sim.cmd" --watch-pid "$console" \
  --script "$root/tools/sim/scenarios/demo-signals.scenario" || true

if kill -0 "$console" 2>/dev/null; then
  echo "The simulator has ended; the console keeps running until you close it."
  wait "$console" || true
fi
trap - EXIT
