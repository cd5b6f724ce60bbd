#!/usr/bin/env bash
# Fresh machine to full test run: installs what is missing, builds, runs every
# test through CTest. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
# Includes point down the layers (CONTRIBUTING.md) before anything is built.
./scripts/check-layers.sh
./scripts/build.sh
cd build
ctest --output-on-failure -j "$(nproc)" "$@"
