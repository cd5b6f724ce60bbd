#!/usr/bin/env bash
# Configures and builds into ./build (shared by run.sh and test.sh). Extra
# arguments go to CMake's configure step; a ccache on the PATH is used.
set -euo pipefail
cd "$(dirname "$0")/.."
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" "$@" >/dev/null
cmake --build build -j "$(nproc)"
