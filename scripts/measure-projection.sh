#!/usr/bin/env bash
# Projection benchmark on this machine: two Xvfb servers at 1920x1080 (the PC
# and the meeting room), a clock that changes every frame drawn on the PC's
# screen, the projection library sending it to vantelor-receiver on the
# room's screen, and a probe reading the clock back from the room's screen.
# Prints glass-to-glass latency p50/p95, pictures delivered per second, the
# sender's CPU and the bit rate; then the same for a bare GStreamer pipeline
# (capture, encode, decode, display in one process) as the floor.
# Loopback only (127.0.0.77). Usage: scripts/measure-projection.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
bin=build/bin
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

start_xvfb() { # $1: name; the display lands in $work/$1
  Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1920x1080x24 3>"$work/$1" >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$work/$1" ] && break; sleep 0.1; done
}
start_xvfb pc
start_xvfb room
pc=":$(head -1 "$work/pc")"
room=":$(head -1 "$work/room")"
mkdir -m 700 "$work/runtime"
export QT_QPA_PLATFORM=xcb XDG_SESSION_TYPE=x11 XDG_RUNTIME_DIR="$work/runtime"
unset WAYLAND_DISPLAY

DISPLAY=$pc $bin/vantelor-glassclock --draw 2>/dev/null &
pids+=($!)
sleep 1

echo "== projection: libsession.so -> vantelor-receiver, 1920x1080, ${seconds} s"
DISPLAY=$room $bin/vantelor-receiver --address 127.0.0.77 >"$work/receiver.txt" &
pids+=($!)
for _ in $(seq 100); do grep -q "listening on" "$work/receiver.txt" && break; sleep 0.1; done
DISPLAY=$pc $bin/vantelor-projectionsender 127.0.0.77 $((seconds + 3)) 2>/dev/null &
sender=$!
for _ in $(seq 100); do grep -q "first picture" "$work/receiver.txt" && break; sleep 0.1; done
sleep 1
DISPLAY=$room $bin/vantelor-glassclock --probe "$seconds"
wait "$sender"
sleep 0.5
grep "^stream:" "$work/receiver.txt" || true

echo "== floor: one gst-launch process, capture -> x264enc -> avdec_h264 -> ximagesink"
kill "${pids[-1]}" 2>/dev/null || true # the receiver leaves the room's screen
gst-launch-1.0 -q ximagesrc display-name="$pc" use-damage=false ! video/x-raw,framerate=30/1 \
  ! videoconvert ! video/x-raw,format=I420 \
  ! x264enc tune=zerolatency speed-preset=ultrafast bitrate=8000 ! avdec_h264 ! videoconvert \
  ! ximagesink display="$room" sync=false &
floor=$!
pids+=($floor)
sleep 2
cpu0=$(awk '{print $14+$15}' /proc/$floor/stat)
DISPLAY=$room $bin/vantelor-glassclock --probe "$seconds"
cpu1=$(awk '{print $14+$15}' /proc/$floor/stat)
ticks=$(getconf CLK_TCK)
echo "floor CPU (capture+encode+decode+display) $(( (cpu1 - cpu0) * 100 / ticks / seconds )) % of one core"
