#!/usr/bin/env bash
# Measures what sign-in and sign-out cycles leave behind in the running client:
# the client (build/bin/vantelor-signincycles: the shipped client plus a driver)
# signs in as the local service's demo user, then signs out and in again
# <cycles> times and clicks the mail page's home button 5 times. After the first
# sign-in, after the cycles and after the clicks it reports its process tree:
# processes (client and descendants), web engine processes, PSS summed over the
# tree (smaps_rollup) and the client's open descriptors.
#
#   scripts/bench-signin-cycles.sh [cycles]     # default 20
#
# Runs under Xvfb when xvfb-run is there, else offscreen. Fresh settings, data
# and runtime directories; the local service on the local deployment's port.
set -euo pipefail
cd "$(dirname "$0")/.."
cycles=${1:-20}

cmake --build build --target vantelor-signincycles vantelor-localservice >/dev/null
driver="$PWD/build/bin/vantelor-signincycles"
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

mkdir -p "$work/home" "$work/config" "$work/runtime" "$work/tmp"
chmod 700 "$work/runtime"
run=(env HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" TMPDIR="$work/tmp"
  SIGNIN_CYCLES="$cycles")
if command -v xvfb-run >/dev/null; then
  run=(xvfb-run -a -s "-screen 0 1280x800x24" "${run[@]}")
else
  run+=(QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software)
fi

status=0
"${run[@]}" "$driver" >"$work/stdout.txt" 2>"$work/stderr.txt" || status=$?
echo "when                processes  web-engine  pss-MiB  fds   ($cycles cycles)"
while read -r tag when _ processes _ web _ pss _ fds; do
  [ "$tag" = "vantelor-signincycles:" ] || continue
  awk -v w="$when" -v p="$processes" -v e="$web" -v s="$pss" -v f="$fds" \
    'BEGIN { printf "%-18s  %9d  %10d  %7.1f  %4d\n", w, p, e, s / 1024, f }'
done <"$work/stdout.txt"
[ "$status" -eq 0 ] || { echo "the client failed ($status):" >&2; tail -n 20 "$work/stderr.txt" >&2; exit 1; }
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
