#!/usr/bin/env bash
# Fills a broker with 200 posts as their uplinks would publish them, for
# looking at dorvan-station's board and alarm list at full size: every post
# online with four sensors, and a few in trouble (trips, a fault, lost links,
# offline, stale, a console or a line stopped). Retained statuses, console
# reports and sensor states; the events are QoS 1, so a station that has
# subscribed once gets them through its session even when it starts later.
#   scripts/station-board-feed.sh [-h HOST] [-p PORT] [-n POSTS] [--trip SITE]
# --trip SITE only trips one more loop at that post (record numbers go on
# from the last run's, kept in $STATE_DIR).
set -euo pipefail

host=localhost port=1883 posts=200 trip_only=
while [ $# -gt 0 ]; do
  case "$1" in
    -h) host=$2; shift 2 ;;
    -p) port=$2; shift 2 ;;
    -n) posts=$2; shift 2 ;;
    --trip) trip_only=$2; shift 2 ;;
    *) echo "usage: $0 [-h HOST] [-p PORT] [-n POSTS] [--trip SITE]" >&2; exit 2 ;;
  esac
done
state_dir=${STATE_DIR:-${TMPDIR:-/tmp}/station-board-feed}
mkdir -p "$state_dir"

pub() { mosquitto_pub -h "$host" -p "$port" -q 1 "$@"; }
utc() { date -u -d "@$1" +%Y-%m-%dT%H:%M:%S.000Z; }
now=$(date +%s)
today=$(date +%d.%m.%Y)
yesterday=$(date -d yesterday +%d.%m.%Y)
m301='Дорван-301ДК'
m302='Дорван-302ДК'

names=(kpp sklad sever yug vostok zapad angar vorota)
site_of() { local i=$1; printf '%s-%02d' "${names[$(( (i - 1) % ${#names[@]} ))]}" $(( (i - 1) / ${#names[@]} + 1 )); }

next_record() {
  local file="$state_dir/$1.record" n=0
  [ -f "$file" ] && n=$(( $(cat "$file") + 1 ))
  echo "$n" > "$file"
  echo "$n"
}

status() { pub -r -t "dorvan/$1/status" -m "{\"state\":\"online\",\"time\":\"$(utc "$2")\",\"interval\":30}"; }
console() {
  pub -r -t "dorvan/$1/console" \
    -m "{\"last_poll\":\"$(utc "$now")\",\"line\":\"$3\",\"running\":$2,\"time\":\"$(utc "$now")\"}"
}
state() { # site address model link loop1 loop2 fault-json code-json event
  pub -r -t "dorvan/$1/sensor/$2/state" \
    -m "{\"site\":\"$1\",\"address\":$2,\"model\":\"$3\",\"link\":\"$4\",\"loop1\":\"$5\",\"loop2\":\"$6\",\"fault\":$7,\"fault_code\":$8,\"changed\":\"$(date +%Y-%m-%dT%H:%M:%S.000%:z)\",\"event\":\"$9\"}"
}
event() { # site code kind model address loop-json text; prints the id
  local id
  id="$today#$(next_record "$1")"
  pub -t "dorvan/$1/event" \
    -m "{\"id\":\"$id\",\"site\":\"$1\",\"time\":\"$(date +%Y-%m-%dT%H:%M:%S.000%:z)\",\"code\":$2,\"kind\":\"$3\",\"model\":\"$4\",\"address\":$5,\"loop\":$6,\"text\":\"$7\"}"
  echo "$id"
}
signal() { # site address signal threshold
  pub -q 0 -t "dorvan/$1/sensor/$2/signal" \
    -m "{\"address\":$2,\"model\":\"$m302\",\"time\":\"$(date '+%d.%m.%Y %H:%M:00.000')\",\"utcMs\":$(( now * 1000 )),\"replies\":40,\"timeouts\":0,\"signal1\":{\"min\":$3,\"mean\":$3,\"max\":$3},\"signal2\":{\"min\":0.2,\"mean\":0.25,\"max\":0.3},\"threshold1\":{\"min\":$4,\"mean\":$4,\"max\":$4},\"threshold2\":{\"min\":1.25,\"mean\":1.25,\"max\":1.25},\"replyMs\":{\"min\":2,\"mean\":3,\"max\":9}}"
}
trip() { # site address
  local id
  id=$(event "$1" 33 alarm "$m301" "$2" 1 "Срабатывание 1 шлейфа датчика <$m301> № $2")
  state "$1" "$2" "$m301" up alarm normal null null "$id"
}

if [ -n "$trip_only" ]; then
  trip "$trip_only" 1001
  exit 0
fi

for i in $(seq 1 "$posts"); do
  site=$(site_of "$i")
  status "$site" "$now"
  console "$site" true running
  for address in 1001 1002 2001 2002; do
    model=$m301; [ "$address" -ge 2000 ] && model=$m302
    state "$site" "$address" "$model" up normal normal null null "$yesterday#3"
  done
  signal "$site" 2001 0.43 1.25
done

# A few posts in trouble, spread over the board.
for i in 3 41 77 120 188; do trip "$(site_of "$i")" 1001; done
for i in 9 150; do
  site=$(site_of "$i")
  id=$(event "$site" 9 fault "$m302" 2001 null "Ошибка ППЗУ датчика <$m302> № 2001")
  state "$site" 2001 "$m302" up normal normal "\"Ошибка ППЗУ датчика <$m302> № 2001\"" 9 "$id"
done
for i in 25 99; do
  site=$(site_of "$i")
  id=$(event "$site" 15 link_lost "$m301" 1002 null "Нет связи с датчиком <$m301> № 1002")
  state "$site" 1002 "$m301" lost alarm alarm null null "$id"
done
for i in 60 61 133; do pub -r -t "dorvan/$(site_of "$i")/status" -m offline; done
for i in 87 170; do status "$(site_of "$i")" $(( now - 600 )); done
console "$(site_of 110)" false stopped
console "$(site_of 140)" true stopped
console "$(site_of 160)" true unknown
echo "published $posts posts to $host:$port"
