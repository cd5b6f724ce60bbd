#!/usr/bin/env bash
# Measures the client against the bundled local service under Xvfb:
#  - start-up: from starting the process to the first paint of the main window
#    (build/bin/vantelor-startupprobe is the client with a paint probe);
#  - memory after 10 s idle: RSS and PSS summed over the client and all its
#    descendants (the QtWebEngineProcess renderer, zygote and GPU processes).
# Every run gets fresh settings, data and runtime directories (a first start).
#
#   scripts/measure-startup.sh [runs]      # default 3 runs
#
# Figures depend on the machine's load: note other builds running beside it.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
idle_seconds=10

cmake --build build --target vantelor-startupprobe vantelor-localservice >/dev/null
probe="$PWD/build/bin/vantelor-startupprobe"
export QTWEBENGINE_DISABLE_SANDBOX=1 # Chromium refuses to run as root otherwise

deployment=config/local.json
port=$(sed -n 's|.*"baseUrl": *"http://127\.0\.0\.1:\([0-9]*\)".*|\1|p' "$deployment")
work=$(mktemp -d)
service_pid=""
cleanup() {
  if [ -n "$service_pid" ]; then
    kill "$service_pid" 2>/dev/null || true
    wait "$service_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
  echo "Using the local service already listening on 127.0.0.1:$port"
else
  mkdir -p "$work/service"
  ./build/bin/vantelor-localservice --deployment "$deployment" --port "$port" --data "$work/service" \
    >"$work/service/stdout.txt" 2>/dev/null &
  service_pid=$!
  for _ in $(seq 100); do
    grep -q "^listening on " "$work/service/stdout.txt" && break
    sleep 0.1
  done
  grep -q "^listening on " "$work/service/stdout.txt" || { echo "local service did not start" >&2; exit 1; }
fi

# One run inside Xvfb: prints "<first paint ms> <rss KiB> <pss KiB> <processes>".
one_run() {
  local dir=$1
  mkdir -p "$dir/home" "$dir/config" "$dir/runtime" "$dir/tmp"
  chmod 700 "$dir/runtime"
  xvfb-run -a -s "-screen 0 1280x800x24" env HOME="$dir/home" XDG_CONFIG_HOME="$dir/config" \
    XDG_RUNTIME_DIR="$dir/runtime" TMPDIR="$dir/tmp" bash -c '
    probe=$1; idle=$2; err=$3
    descendants() {
      local child
      for child in $(ps -o pid= --ppid "$1"); do echo "$child"; descendants "$child"; done
    }
    start=$(date +%s%N)
    "$probe" >/dev/null 2>"$err" & client=$!
    for _ in $(seq 600); do
      grep -qs "first paint at" "$err" && break
      sleep 0.1
    done
    painted=$(sed -n "s/.*first paint at \([0-9]*\).*/\1/p" "$err" | head -n1)
    sleep "$idle"
    rss=0; pss=0; count=0
    for pid in $client $(descendants "$client"); do
      r=$(awk "/^VmRSS:/ {print \$2}" "/proc/$pid/status" 2>/dev/null || true)
      p=$(awk "/^Pss:/ {print \$2}" "/proc/$pid/smaps_rollup" 2>/dev/null || true)
      [ -n "$r" ] || continue
      rss=$((rss + r)); pss=$((pss + ${p:-0})); count=$((count + 1))
    done
    kill "$client" 2>/dev/null || true
    wait "$client" 2>/dev/null || true
    if [ -z "$painted" ]; then echo "none $rss $pss $count"; exit 0; fi
    echo "$(( (painted - start) / 1000000 )) $rss $pss $count"
  ' _ "$probe" "$idle_seconds" "$dir/stderr.txt"
}

echo "run  first-paint-ms  rss-MiB  pss-MiB  processes"
for i in $(seq "$runs"); do
  result=$(one_run "$work/run$i")
  read -r ms rss pss count <<<"$result"
  awk -v i="$i" -v ms="$ms" -v rss="$rss" -v pss="$pss" -v n="$count" \
    'BEGIN { printf "%3d  %14s  %7.1f  %7.1f  %9d\n", i, ms, rss / 1024, pss / 1024, n }'
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
