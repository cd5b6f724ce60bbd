#!/usr/bin/env bash
# Runs the libFuzzer targets of tests/fuzz.
#
#   scripts/fuzz.sh TARGET SECONDS   one target for that long
#   scripts/fuzz.sh --all SECONDS    every target in turn, one line each
#   scripts/fuzz.sh --list           the targets
#
# The fuzz build lives in build-fuzz (FUZZ_BUILD_DIR to change it) and is
# configured (clang, -DVANTELOR_FUZZ=ON) and brought up to date first. Each run
# starts from a copy of tests/fuzz/corpus/TARGET in a scratch directory, which
# is where new inputs go: the repository is never written. Any crash, input
# slower than 1 s, leak or sanitizer report fails the run (exit 1); its
# scratch directory, with the input that did it, is kept and named.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
build_dir=${FUZZ_BUILD_DIR:-build-fuzz}

usage() {
    sed -n '2,13s/^# \{0,1\}//p' "$0" >&2
    exit 2
}

configure() {
    if [[ -f $build_dir/build.ninja ]]; then
        return
    fi
    local launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    CC=clang CXX=clang++ cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DVANTELOR_FUZZ=ON -DBUILD_TESTING=OFF "${launcher[@]}" >/dev/null
}

# build TARGET: quiet unless it fails.
build() {
    local log
    log=$(mktemp)
    if ! cmake --build "$build_dir" --target "$1" -j2 >"$log" 2>&1; then
        cat "$log" >&2
        rm -f "$log"
        exit 1
    fi
    rm -f "$log"
}

targets() {
    cat "$build_dir/fuzz/targets.txt"
}

# run TARGET SECONDS: prints "name executions exec/s result"; false on a finding.
run() {
    local target=$1 seconds=$2
    local binary=$build_dir/fuzz/${target}_fuzz
    local scratch
    scratch=$(mktemp -d "${TMPDIR:-/tmp}/vantelor-fuzz-$target-XXXXXX")
    mkdir "$scratch/corpus"
    if [[ -d tests/fuzz/corpus/$target ]]; then
        cp tests/fuzz/corpus/"$target"/* "$scratch/corpus/" 2>/dev/null || true
    fi
    local status=0
    (cd "$scratch" &&
        ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:symbolize=1 \
        UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        "$source_dir/$binary" -max_total_time="$seconds" -timeout=1 -print_final_stats=1 \
        -error_exitcode=77 -timeout_exitcode=78 -artifact_prefix="$scratch/" \
        "$scratch/corpus" >"$scratch/log" 2>&1) || status=$?
    local executions rate result
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$scratch/log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$scratch/log" | tail -1)
    if [[ $status -eq 0 ]]; then
        result=ok
    elif grep -q "ERROR: libFuzzer: timeout" "$scratch/log"; then
        result="HANG (input over 1 s)"
    elif grep -q "ERROR: LeakSanitizer" "$scratch/log"; then
        result="LEAK"
    elif grep -q "ERROR: AddressSanitizer\|runtime error:" "$scratch/log"; then
        result="SANITIZER REPORT"
    elif grep -q "out-of-memory" "$scratch/log"; then
        result="OUT OF MEMORY"
    else
        result="CRASH (exit $status)"
    fi
    printf '%-18s %12s exec %9s exec/s  %s\n' "$target" "${executions:-?}" "${rate:-?}" "$result"
    if [[ $status -ne 0 ]]; then
        echo "  log and input kept in $scratch:" >&2
        grep -m1 -A12 "ERROR:\|runtime error:" "$scratch/log" | sed 's/^/  /' >&2 || true
        ls "$scratch" | grep -E '^(crash|timeout|leak|oom)-' | sed "s|^|  $scratch/|" >&2 || true
        return 1
    fi
    rm -rf "$scratch"
}

[[ $# -ge 1 ]] || usage
configure
case $1 in
--list)
    targets
    ;;
--all)
    [[ $# -eq 2 && $2 =~ ^[0-9]+$ ]] || usage
    build fuzzers
    failed=0
    for target in $(targets); do
        run "$target" "$2" || failed=1
    done
    exit $failed
    ;;
-*)
    usage
    ;;
*)
    [[ $# -eq 2 && $2 =~ ^[0-9]+$ ]] || usage
    target=${1%_fuzz}
    if ! targets | grep -qx "$target"; then
        echo "unknown target $target; known: $(targets | tr '\n' ' ')" >&2
        exit 2
    fi
    build "${target}_fuzz"
    run "$target" "$2"
    ;;
esac
