#!/usr/bin/env bash
# Builds the client and its tests with AddressSanitizer and UndefinedBehavior-
# Sanitizer into ./build-asan (Debug, -O1, frame pointers) and runs the whole
# suite there. Any report from our code fails the run: UB is not recovered from,
# and tests/sanitizer/lsan.supp suppresses only leaks inside libraries we do
# not build. Extra arguments go to ctest (e.g. -R sharemanager).
set -euo pipefail
cd "$(dirname "$0")/.."
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-g -O1" \
  -DVANTELOR_SANITIZE=address,undefined ${CI:+-DVANTELOR_WERROR=ON} "${launcher[@]}" >/dev/null
cmake --build build-asan -j "$(nproc)"

supp="$PWD/tests/sanitizer/lsan.supp"
# detect_leaks: LeakSanitizer at exit; abort_on_error=0 keeps the exit code
# non-zero without a core dump; halt_on_error makes UB reports fatal too.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:detect_stack_use_after_return=0"
export LSAN_OPTIONS="suppressions=$supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd build-asan
ctest --output-on-failure -j "$(nproc)" "$@"
