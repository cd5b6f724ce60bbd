#!/usr/bin/env bash
# Fresh machine to running client: installs what is missing, builds, starts the
# bundled local service (the stand-in of the cloud services, on 127.0.0.1) and
# the client beside it, and stops the service when the client quits. Without a
# display the client runs under Xvfb, a screenshot of the main window is saved
# to build/screenshot-main.png and everything stops.
# --receiver also starts a projection receiver in a window beside the client
# (on 127.0.0.5, code 00005), registered as a meeting room at the local
# service, so projection by either code can be tried on one machine.
# --conference also starts the conference media server, so that a conference
# has picture and sound; everything then runs in a network namespace of its
# own (scripts/netns-run.sh), where the media server's network leads nowhere.
# --second-display :N starts a second client on X display :N, with settings
# of its own, to meet the first one in a conference.
set -euo pipefail
cd "$(dirname "$0")"
usage="usage: $0 [--receiver] [--conference [--second-display :N]]"
with_receiver=""
with_conference=""
second_display=""
while [ $# -gt 0 ]; do
  case "$1" in
    --receiver) with_receiver=1 ;;
    --conference) with_conference=1 ;;
    --second-display) second_display=${2:?$usage}; with_conference=1; shift ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
  shift
done
./scripts/install-deps.sh
./scripts/build.sh

if [ -n "$with_conference" ] && [ "${VANTELOR_NETNS:-}" != 1 ]; then
  args=(--conference)
  [ -n "$with_receiver" ] && args+=(--receiver)
  [ -n "$second_display" ] && args+=(--second-display "$second_display")
  exec ./scripts/netns-run.sh "$0" "${args[@]}"
fi

export QTWEBENGINE_DISABLE_SANDBOX=1   # Chromium refuses to run as root otherwise

deployment=config/local.json
port=$(sed -n 's|.*"baseUrl": *"http://127\.0\.0\.1:\([0-9]*\)".*|\1|p' "$deployment")
data="$PWD/build/localservice-data"
service_pid=""

service_answers() {
  local reply
  exec 3<>"/dev/tcp/127.0.0.1/$port" 2>/dev/null || return 1
  printf 'GET /__control/health HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n' >&3
  reply=$(timeout 2 cat <&3 || true)
  exec 3<&-
  [[ $reply == *vantelor-localservice* ]]
}

start_service() {
  mkdir -p "$data"
  local out="$data/stdout.txt"
  : >"$out"
  ./build/bin/vantelor-localservice --deployment "$deployment" --port "$port" --data "$data" \
    >"$out" 2>/dev/null &
  service_pid=$!
  for _ in $(seq 100); do
    if grep -q "^listening on " "$out"; then
      echo "Local service on http://127.0.0.1:$port (log, SMS codes: $data/localservice.log, $data/sms-codes.txt)"
      return 0
    fi
    if ! kill -0 "$service_pid" 2>/dev/null; then
      service_pid=""
      if service_answers; then
        echo "A local service already answers on port $port; using it."
        return 0
      fi
      echo "The local service did not start; see $data/localservice.log" >&2
      return 1
    fi
    sleep 0.1
  done
  echo "The local service did not start within 10 s; see $data/localservice.log" >&2
  return 1
}

media_pid=""
start_media_server() {
  [ -n "$with_conference" ] || return 0
  local url media_port
  url=$(sed -n 's|.*"mediaServer": *"\([^"]*\)".*|\1|p' "$deployment")
  media_port=$(sed -n 's|http://127\.0\.0\.1:\([0-9]*\)/.*|\1|p' <<<"$url")
  ./scripts/start-janus.sh "$media_port" "$PWD/build/media-server" >/dev/null 2>&1 &
  media_pid=$!
  for _ in $(seq 100); do
    if { exec 4<>"/dev/tcp/127.0.0.1/$media_port"; } 2>/dev/null; then
      exec 4<&-
      echo "Media server on $url (log: build/media-server/janus.log)"
      return 0
    fi
    sleep 0.1
  done
  echo "The media server did not start; see build/media-server/janus.log" >&2
  return 1
}

second_pid=""
start_second_client() {
  [ -n "$second_display" ] || return 0
  local home="$PWD/build/second-member"
  mkdir -p "$home/config" "$home/data" "$home/cache" "$home/runtime" "$home/tmp"
  chmod 700 "$home/runtime"
  DISPLAY="$second_display" HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" \
    XDG_CACHE_HOME="$home/cache" XDG_RUNTIME_DIR="$home/runtime" TMPDIR="$home/tmp" ./build/bin/vantelor &
  second_pid=$!
  echo "Second client on display $second_display (its settings in $home)"
}

receiver_pid=""
start_receiver() {
  [ -n "$with_receiver" ] || return 0
  ./build/bin/vantelor-receiver --address 127.0.0.5 --windowed 960x540 \
    --register "http://127.0.0.1:$port" --room-name "演示会议室" &
  receiver_pid=$!
  echo "Receiver on 127.0.0.5: type its code 00005, or the 4-character code it shows, on the projection page (投屏)"
}

stop_service() {
  for pid in $second_pid $media_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  second_pid=""
  media_pid=""
  if [ -n "$receiver_pid" ]; then
    kill "$receiver_pid" 2>/dev/null || true
    wait "$receiver_pid" 2>/dev/null || true
    receiver_pid=""
  fi
  if [ -n "$service_pid" ]; then
    kill "$service_pid" 2>/dev/null || true
    wait "$service_pid" 2>/dev/null || true
    service_pid=""
  fi
}
trap stop_service EXIT

start_service
start_media_server

if [ -n "${DISPLAY:-}" ]; then
  start_receiver
  start_second_client
  ./build/bin/vantelor
  exit
fi

shot="$PWD/build/screenshot-main.png"
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  receiver=""
  if [ -n "$2" ]; then
    ./build/bin/vantelor-receiver --address 127.0.0.5 --windowed 480x270 \
      --register "http://127.0.0.1:$3" --room-name "演示会议室" & receiver=$!
  fi
  ./build/bin/vantelor & client=$!
  sleep "${VANTELOR_SCREENSHOT_DELAY:-4}"
  import -window root "$1"
  kill "$client" $receiver; wait "$client" $receiver 2>/dev/null || true
' _ "$shot" "$with_receiver" "$port"
echo "No display: the client ran under Xvfb; screenshot of the main window saved to $shot"
