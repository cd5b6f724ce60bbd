#!/usr/bin/env bash
# One program inside an X server, for bench/startup.sh:
#   bench/runone.sh <seconds> <program> [arguments...]
# starts it through the map watcher (BENCH_BIN/vantelor-mapwatch); <seconds>
# after the start (or after its stdout showed WAIT_FOR, e.g. its sign-in)
# reads the memory of its process tree, then with CPU_SECONDS the tree's CPU
# time over that many seconds; then ends it. Prints
#   "mapped <ms> paint <ms> rss <KiB> pss <KiB> processes <n> [cpu <s>]"
# with "-" for what did not happen. Its files go to TMPDIR.
set -uo pipefail
seconds=$1
shift
out=$TMPDIR/watch.txt
err=$TMPDIR/stderr.txt
began=$(date +%s%N)
: >"$out"
"$BENCH_BIN/vantelor-mapwatch" --timeout 60 -- "$@" >"$out" 2>"$err" &
watcher=$!
pid=""
for _ in $(seq 200); do
  pid=$(sed -n 's/^pid //p' "$out")
  [ -n "$pid" ] && break
  sleep 0.05
done
[ -n "$pid" ] || { echo "mapped - paint - rss 0 pss 0 processes 0"; exit 0; }
# until <nanoseconds since the epoch>
sleep_until() {
  local left=$(( ($1 - $(date +%s%N)) / 1000000 ))
  [ "$left" -le 0 ] || sleep "$(awk -v l="$left" 'BEGIN { printf "%.3f", l / 1000 }')"
}
if [ -n "${WAIT_FOR:-}" ]; then
  for _ in $(seq 1200); do
    grep -q "$WAIT_FOR" "$out" && break
    sleep 0.05
  done
  began=$(date +%s%N)
fi
sleep_until $((began + seconds * 1000000000))
memory=$(python3 "$BENCH_DIR/proctree.py" memory "$pid")
cpu=""
if [ -n "${CPU_SECONDS:-}" ]; then
  first=$(python3 "$BENCH_DIR/proctree.py" cpu "$pid" | cut -d' ' -f1)
  sleep "$CPU_SECONDS"
  last=$(python3 "$BENCH_DIR/proctree.py" cpu "$pid" | cut -d' ' -f1)
  cpu="cpu $(awk -v a="$first" -v b="$last" 'BEGIN { printf "%.2f", b - a }')"
fi
kill "$pid" 2>/dev/null
wait "$watcher" 2>/dev/null
start=$(sed -n 's/^start //p' "$out")
mapped=$(sed -n 's/^mapped \([0-9.]*\).*/\1/p' "$out")
paint=$(sed -n 's/.*first paint at \([0-9]*\).*/\1/p' "$err" | head -n1)
if [ -n "$paint" ] && [ -n "$start" ]; then
  paint=$(awk -v p="$paint" -v s="$start" 'BEGIN { printf "%.1f", (p - s) / 1e6 }')
fi
read -r rss pss count <<<"$memory"
echo "mapped ${mapped:--} paint ${paint:--} rss ${rss:-0} pss ${pss:-0} processes ${count:-0} $cpu"
