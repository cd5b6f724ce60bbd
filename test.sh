#!/usr/bin/env bash
# Fresh machine to full test run: installs what is missing, builds, runs every
# test through CTest. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
# Includes point down the layers (CONTRIBUTING.md) before anything is built.
./scripts/check-layers.sh
./scripts/check-format.sh
# CI fails on any compiler warning; a local run only shows them.
./scripts/build.sh ${CI:+-DVANTELOR_WERROR=ON}
cd build
ctest --output-on-failure -j "$(nproc)" "$@"
