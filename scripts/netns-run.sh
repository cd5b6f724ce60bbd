#!/usr/bin/env bash
# Runs a command in a network namespace of its own: loopback plus a pair of
# virtual interfaces (10.77.0.1 and 10.77.0.2) that lead nowhere but to each
# other. The media server and the conference programs need an interface that
# is not loopback for ICE; in here nothing they send can leave the machine.
# Services on 127.0.0.1 outside are not reachable from inside, so everything
# a conference needs runs inside. X and the sound server are reached through
# their socket files as usual.
set -euo pipefail
if [ $# -eq 0 ]; then
  echo "usage: $0 COMMAND [ARGS...]" >&2
  exit 2
fi
if [ "${VANTELOR_NETNS:-}" = 1 ]; then
  exec "$@"
fi
flags=(-n)
[ "$(id -u)" -ne 0 ] && flags=(-r -n)
exec unshare "${flags[@]}" -- env VANTELOR_NETNS=1 bash -c '
  set -e
  ip link set lo up
  ip link add media0 type veth peer name media1
  ip addr add 10.77.0.1/24 dev media0
  ip addr add 10.77.0.2/24 dev media1
  ip link set media0 up
  ip link set media1 up
  exec "$@"' netns-run "$@"
