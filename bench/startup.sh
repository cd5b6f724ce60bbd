#!/usr/bin/env bash
# Measures the client against its baselines, every figure taken interleaved in
# one run so that ratios are fair on a shared machine:
#
#  start-up  <runs> rounds; each round starts, each under a fresh Xvfb with
#            fresh settings, data and runtime directories (a first start):
#            a bare frameless 900x600 QMainWindow ("window"), the same window in
#            a program linked with the web engine but without a web view
#            ("engine": what the engine costs before any window is mapped), the
#            same window holding one QWebEngineView with a small page
#            ("webwindow"), and the client signed out with
#            the bundled local service. "mapped" is the MapNotify of the
#            program's first top-level window as the X server sends it
#            (bench/mapwatch.cpp), from the fork of the program; "paint" the
#            first paint its probe reports; RSS and PSS are summed over the
#            program and all its descendants (the web engine's renderer, zygote
#            and GPU processes) 8 s after the start.
#  sign-in   <runs> sign-ins of a fresh client each (from the sign-in call to
#            the ticket's arrival: the authorization, token, company, person
#            and ticket calls) against a local service of the benchmark's own,
#            and <runs> replays of the same requests by a client that writes
#            each request in one piece (bench/signin.py, one sendall per request
#            on one kept-alive connection), over http and over TLS on loopback
#            (socat in front of the local service), interleaved.
#  idle      CPU of the whole client tree over 60 s (utime and stime from
#            /proc, reaped children included), signed out and signed in with
#            the mail page open, after 10 s to settle; also the memory then.
#
#   bench/startup.sh [--before <build dir>] [--only startup|signin|idle]
#                    [--idle-seconds S] [runs]          # default 5 runs
#
# --before runs the client of another build (its bin/vantelor-benchclient or
# bin/vantelor-startupprobe, bin/vantelor) beside this one in every part, e.g.
# a build of the previous commit. Figures depend on the machine's load: the
# script prints the load average and the number of cores at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=5
only=""
before=""
idle_seconds=60
while [ $# -gt 0 ]; do
  case $1 in
  --before) before=$(cd "$2" && pwd); shift 2 ;;
  --only) only=$2; shift 2 ;;
  --idle-seconds) idle_seconds=$2; shift 2 ;;
  *) runs=$1; shift ;;
  esac
done
part() { [ -z "$only" ] || [ "$only" = "$1" ]; }

cmake --build build -j2 --target vantelor vantelor-benchclient vantelor-bench-window vantelor-bench-window-engine \
  vantelor-bench-webwindow \
  vantelor-mapwatch vantelor-localservice vantelor-ping >/dev/null
bin=$root/build/bin
export QTWEBENGINE_DISABLE_SANDBOX=1 # Chromium refuses to run as root otherwise
phone=13800000001
password=demo1234

# The clients to compare: label and program.
clients=("client" "$bin/vantelor-benchclient")
if [ -n "$before" ]; then
  for candidate in vantelor-benchclient vantelor-startupprobe vantelor; do
    if [ -x "$before/bin/$candidate" ]; then
      clients+=("before" "$before/bin/$candidate")
      break
    fi
  done
fi

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
wait_for_port() {
  for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.1
  done
  echo "nothing listens on 127.0.0.1:$1" >&2
  return 1
}
# start_service <deployment> <port> <data dir>: a local service in the background.
start_service() {
  mkdir -p "$3"
  "$bin/vantelor-localservice" --deployment "$1" --port "$2" --data "$3" --tolerance 86400 \
    >"$3/stdout.txt" 2>/dev/null &
  pids+=($!)
  wait_for_port "$2"
}
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# The built-in deployment's service: the start-up and the signed-out idle run.
deployment=config/local.json
port=$(sed -n 's|.*"baseUrl": *"http://127\.0\.0\.1:\([0-9]*\)".*|\1|p' "$deployment")
if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
  echo "Using the local service already listening on 127.0.0.1:$port"
else
  start_service "$deployment" "$port" "$work/service"
fi

# run_x <dir> <command...>: the command under a fresh Xvfb with fresh
# settings, data and runtime directories in <dir>.
run_x() {
  local dir=$1
  shift
  mkdir -p "$dir/home" "$dir/config" "$dir/runtime" "$dir/tmp"
  chmod 700 "$dir/runtime"
  xvfb-run -a -s "-screen 0 1280x800x24" env HOME="$dir/home" XDG_CONFIG_HOME="$dir/config" \
    XDG_DATA_HOME="$dir/data" XDG_RUNTIME_DIR="$dir/runtime" TMPDIR="$dir/tmp" "$@"
}

export BENCH_BIN=$bin BENCH_DIR=$root/bench # for bench/runone.sh

if part startup; then
  echo "== start-up: $runs rounds, interleaved (mapped / first paint in ms from the fork; memory 8 s after)"
  programs=("window" "$bin/vantelor-bench-window" "engine" "$bin/vantelor-bench-window-engine"
    "webwindow" "$bin/vantelor-bench-webwindow" "${clients[@]}")
  : >"$work/startup.txt"
  for round in $(seq "$runs"); do
    for ((i = 0; i < ${#programs[@]}; i += 2)); do
      label=${programs[i]}
      result=$(run_x "$work/s$round-$i" bench/runone.sh 8 "${programs[i + 1]}")
      echo "$label $result" >>"$work/startup.txt"
      printf '%3d  %-10s %s\n' "$round" "$label" "$result"
    done
  done
  echo
  printf '%-10s %10s %10s %9s %9s %10s\n' "median" "mapped-ms" "paint-ms" "RSS-MiB" "PSS-MiB" "processes"
  for ((i = 0; i < ${#programs[@]}; i += 2)); do
    label=${programs[i]}
    col() { awk -v l="$label" -v k="$1" '$1 == l { for (f = 2; f < NF; f++) if ($f == k) print $(f + 1) }' \
      "$work/startup.txt" | grep -v '^-$' | median; }
    printf '%-10s %10s %10s %9.1f %9.1f %10s\n' "$label" "$(col mapped)" "$(col paint)" \
      "$(awk -v k="$(col rss)" 'BEGIN { print k / 1024 }')" "$(awk -v k="$(col pss)" 'BEGIN { print k / 1024 }')" \
      "$(col processes)"
    eval "mapped_$label=$(col mapped) rss_$label=$(col rss) pss_$label=$(col pss)"
  done
  echo
  for label in client before; do
    eval "m=\${mapped_$label:-}; r=\${rss_$label:-}; p=\${pss_$label:-}"
    [ -n "$m" ] || continue
    awk -v l="$label" -v m="$m" -v w="$mapped_window" -v r="$r" -v p="$p" -v wr="$rss_webwindow" -v wp="$pss_webwindow" \
      'BEGIN { printf "%-7s mapped / bare window %.2f (goal <= 1.3)   RSS / web-view window %.2f   PSS / web-view window %.2f (goal <= 1.05)\n", l, m / w, r / wr, p / wp }'
  done
  awk -v e="$mapped_engine" -v w="$mapped_window" \
    'BEGIN { printf "engine  mapped / bare window %.2f (the web engine linked and its OpenGL context, no view)\n", e / w }'
  echo
fi

if part signin || part idle; then
  # A local service of the benchmark's own (signed calls accepted all day,
  # so recorded requests can be replayed), with TLS in front of it.
  sport=$(free_port)
  python3 - "$deployment" "$port" "$sport" "$work/service-deployment.json" <<'EOF'
import json, sys
text = open(sys.argv[1]).read().replace("127.0.0.1:" + sys.argv[2], "127.0.0.1:" + sys.argv[3])
open(sys.argv[4], "w").write(text)
EOF
  start_service "$work/service-deployment.json" "$sport" "$work/signin-service"
  # client_deployment <base URL> <file>: the service's deployment, signed calls to <base URL>.
  client_deployment() {
    python3 - "$work/service-deployment.json" "$1" "$2" <<'EOF'
import json, sys
d = json.load(open(sys.argv[1]))
d["service"]["baseUrl"] = sys.argv[2]
json.dump(d, open(sys.argv[3], "w"))
EOF
  }
  client_deployment "http://127.0.0.1:$sport" "$work/http.json"
fi

if part signin; then
  command -v socat >/dev/null || { echo "socat is missing (scripts/install-deps.sh)" >&2; exit 1; }
  tport=$(free_port)
  openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=127.0.0.1" -addext "subjectAltName=IP:127.0.0.1" \
    -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
  socat "OPENSSL-LISTEN:$tport,bind=127.0.0.1,reuseaddr,fork,cert=$work/cert.pem,key=$work/key.pem,verify=0,nodelay" \
    "TCP:127.0.0.1:$sport,nodelay" 2>/dev/null &
  pids+=($!)
  wait_for_port "$tport"
  client_deployment "https://127.0.0.1:$tport" "$work/https.json"

  # The requests of one sign-in, recorded on their way to the service.
  rport=$(free_port)
  python3 bench/signin.py record "$rport" "$sport" "$work/requests.jsonl" >/dev/null &
  pids+=($!)
  wait_for_port "$rport"
  client_deployment "http://127.0.0.1:$rport" "$work/record.json"
  run_x "$work/record" env BENCH_DEPLOYMENT="$work/record.json" BENCH_SIGN_IN="$phone:$password" BENCH_QUIT=1 \
    timeout 60 "$bin/vantelor-benchclient" >"$work/record.txt" 2>/dev/null || true
  grep -q "sign-in" "$work/record.txt" || { echo "the recorded sign-in did not finish" >&2; exit 1; }
  first_path=$(python3 -c 'import json; print(json.load(open("config/local.json"))["service"]["paths"]["authCodeByPassword"])')
  last_path=$(python3 -c 'import json; print(json.load(open("config/local.json"))["service"]["paths"]["accessTicket"])')

  echo "== sign-in: $runs runs each, interleaved (ms from the sign-in call to the ticket's arrival)"
  : >"$work/signin.txt"
  for round in $(seq "$runs"); do
    for scheme in http https; do
      for ((i = 0; i < ${#clients[@]}; i += 2)); do
        [[ ${clients[i + 1]} == *benchclient ]] || continue
        extra=()
        [ "$scheme" = http ] || extra=(BENCH_CA_FILE="$work/cert.pem")
        run_x "$work/i$round-$scheme-$i" env BENCH_DEPLOYMENT="$work/$scheme.json" "${extra[@]}" \
          BENCH_SIGN_IN="$phone:$password" BENCH_QUIT=1 timeout 60 "${clients[i + 1]}" >"$work/run.txt" 2>/dev/null || true
        line=$(sed -n 's/^[a-z-]*: sign-in //p' "$work/run.txt")
        echo "${clients[i]}-$scheme ${line:-none}" >>"$work/signin.txt"
        printf '%3d  %-13s %s\n' "$round" "${clients[i]}-$scheme" "${line:-none}"
      done
      if [ "$scheme" = http ]; then
        target=$sport ca=()
      else
        target=$tport ca=("$work/cert.pem")
      fi
      line=$(python3 bench/signin.py replay "$work/requests.jsonl" "$first_path" "$last_path" "$target" 1 "${ca[@]}")
      echo "one-write-$scheme $line" >>"$work/signin.txt"
      printf '%3d  %-13s %s\n' "$round" "one-write-$scheme" "$line"
    done
  done
  echo
  printf '%-16s %10s %9s\n' "median" "sign-in-ms" "requests"
  for label in $(cut -d' ' -f1 "$work/signin.txt" | awk '!seen[$0]++'); do
    printf '%-16s %10s %9s\n' "$label" "$(awk -v l="$label" '$1 == l { print $2 }' "$work/signin.txt" | median)" \
      "$(awk -v l="$label" '$1 == l { print ($3 == "calls" ? $4 : $3) }' "$work/signin.txt" | median)"
  done
  echo
  for ((i = 0; i < ${#clients[@]}; i += 2)); do
    [[ ${clients[i + 1]} == *benchclient ]] || continue
    for scheme in http https; do
      c=$(awk -v l="${clients[i]}-$scheme" '$1 == l { print $2 }' "$work/signin.txt" | median)
      o=$(awk -v l="one-write-$scheme" '$1 == l { print $2 }' "$work/signin.txt" | median)
      awk -v l="${clients[i]}" -v s="$scheme" -v c="$c" -v o="$o" \
        'BEGIN { printf "%-7s %-5s sign-in %.1f ms, one-write client %.1f ms + 30 ms = %.1f ms: %s\n", l, s, c, o, o + 30, (c <= o + 30 ? "met" : "not met") }'
    done
  done
  echo
fi

if part idle; then
  echo "== idle: CPU of the whole process tree over $idle_seconds s, after 10 s to settle"
  for ((i = 0; i < ${#clients[@]}; i += 2)); do
    label=${clients[i]}
    result=$(run_x "$work/o-$i" env CPU_SECONDS="$idle_seconds" bench/runone.sh 10 "${clients[i + 1]}")
    read -r _ _ _ _ _ rss _ pss _ count _ cpu <<<"$result"
    awk -v l="$label" -v c="$cpu" -v t="$idle_seconds" -v r="$rss" -v p="$pss" -v n="$count" \
      'BEGIN { printf "%-7s signed out: %.2f %% of one core (goal < 0.5)   RSS %.1f MiB  PSS %.1f MiB  %d processes\n", l, 100 * c / t, r / 1024, p / 1024, n }'
    [[ ${clients[i + 1]} == *benchclient ]] || continue
    result=$(run_x "$work/n-$i" env CPU_SECONDS="$idle_seconds" WAIT_FOR="sign-in" BENCH_DEPLOYMENT="$work/http.json" \
      BENCH_SIGN_IN="$phone:$password" BENCH_MAIL=1 bench/runone.sh 10 "${clients[i + 1]}")
    read -r _ _ _ _ _ rss _ pss _ count _ cpu <<<"$result"
    awk -v l="$label" -v c="$cpu" -v t="$idle_seconds" -v r="$rss" -v p="$pss" -v n="$count" \
      'BEGIN { printf "%-7s signed in, mail page open: %.2f %% of one core (goal < 0.5)   RSS %.1f MiB  PSS %.1f MiB  %d processes\n", l, 100 * c / t, r / 1024, p / 1024, n }'
  done
  echo
fi
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
