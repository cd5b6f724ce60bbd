#!/usr/bin/env bash
# Builds the Debian packages into build/packages (CPack, the "package"
# target): vantelor, vantelor-receiver and, for the local deployment,
# vantelor-localservice. Their file names carry the deployment's name.
# For the local deployment it also makes the demo update: the client's
# package at version 2.4.8 (build/packages/demo/), which the local service's
# package ships and its feed offers to a 2.4.7 client.
# Extra arguments go to CMake's configure step, e.g.
#   scripts/package.sh -DVANTELOR_DEPLOYMENT=/path/to/production.json -DVANTELOR_SESSION_INI=/path/to/session.ini
set -euo pipefail
cd "$(dirname "$0")/.."
demo_version=${VANTELOR_DEMO_UPDATE_VERSION:-2.4.8}

./scripts/build.sh "$@"
rm -rf build/packages build/demo-update
nice cmake --build build --target package

shopt -s nullglob
client=(build/packages/vantelor_*.deb)
services=(build/packages/vantelor-localservice_*.deb)
if [ ${#services[@]} -gt 0 ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  dpkg-deb -R "${client[0]}" "$work/root"
  version=$(dpkg-deb -f "${client[0]}" Version)
  sed -i "s/^Version: .*/Version: $demo_version/" "$work/root/DEBIAN/control"
  mkdir -p build/demo-update build/packages/demo
  dpkg-deb --root-owner-group -Zxz -b "$work/root" build/demo-update/vantelor-demo-update.deb >/dev/null
  cp build/demo-update/vantelor-demo-update.deb \
    "build/packages/demo/$(basename "${client[0]}" | sed "s/_${version}_/_${demo_version}_/")"
  # Once more, so that the local service's package carries the demo update.
  rm -f build/packages/*.deb
  nice cmake --build build --target package
fi
ls -l build/packages/*.deb build/packages/demo/*.deb 2>/dev/null || true
