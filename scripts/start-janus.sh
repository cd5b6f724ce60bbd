#!/usr/bin/env bash
# Runs the conference media server (Janus, VideoRoom over HTTP) on loopback
# with the configuration in config/janus: start-janus.sh PORT WORKDIR
# [RTP_PORTS]. The configuration goes to WORKDIR, the log to WORKDIR/janus.log;
# the script becomes the server (exec), so killing its pid stops it.
set -euo pipefail
if [ $# -lt 2 ]; then
  echo "usage: $0 PORT WORKDIR [RTP_PORTS, e.g. 20000-20999]" >&2
  exit 2
fi
port=$1
work=$2
rtp_ports=${3:-20000-40000}
templates="$(cd "$(dirname "$0")/../config/janus" && pwd)"
janus=$(command -v janus || true)
if [ -z "$janus" ]; then
  echo "janus is not installed (Debian package janus)" >&2
  exit 1
fi
libdir=$(dirname "$(dirname "$(readlink -f "$janus")")")/lib/$(gcc -print-multiarch 2>/dev/null || echo x86_64-linux-gnu)/janus
[ -d "$libdir" ] || libdir=/usr/lib/x86_64-linux-gnu/janus
mkdir -p "$work"
for template in "$templates"/*.jcfg.in; do
  sed -e "s|@CONFIGS@|$work|" -e "s|@PLUGINS@|$libdir/plugins|" -e "s|@TRANSPORTS@|$libdir/transports|" \
    -e "s|@EVENTS@|$libdir/events|" -e "s|@LOGGERS@|$libdir/loggers|" -e "s|@PORT@|$port|" \
    -e "s|@RTP_PORTS@|$rtp_ports|" "$template" >"$work/$(basename "$template" .in)"
done
exec "$janus" --configs-folder="$work" --config="$work/janus.jcfg" --log-file="$work/janus.log" \
  --disable-colors
