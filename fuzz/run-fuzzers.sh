#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
#
# Builds the libFuzzer targets with clang and runs each for FUZZ_SECONDS under AddressSanitizer
# and UndefinedBehaviorSanitizer. Fails on the first finding; the input that caused it is left
# in $FUZZ_BUILD/artifacts/<target>/ and belongs in fuzz/regressions/<target>/ once understood.
set -eu

cd "$(dirname "$0")/.."
FUZZ_SECONDS=${FUZZ_SECONDS:-60}
FUZZ_BUILD=${FUZZ_BUILD:-build-fuzz}
FUZZ_TARGETS=${FUZZ_TARGETS:-$(sed -n 's/^set(fuzz_targets \(.*\))$/\1/p' fuzz/CMakeLists.txt)}
JOBS=${JOBS:-$(nproc)}

CC=clang-14 CXX=clang++-14 cmake -S . -B "$FUZZ_BUILD" -DORB_FUZZ=ON \
    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" >/dev/null
for target in $FUZZ_TARGETS; do
    cmake --build "$FUZZ_BUILD" --target "fuzz_$target" -j "$JOBS"
done

export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1"
export LSAN_OPTIONS="suppressions=$PWD/tools/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

summary=""
total=0
for target in $FUZZ_TARGETS; do
    work="$FUZZ_BUILD/corpus/$target"
    artifacts="$FUZZ_BUILD/artifacts/$target"
    log="$FUZZ_BUILD/fuzz_$target.log"
    mkdir -p "$work" "$artifacts"
    # New inputs go to the first folder (the build's own); the others are read only.
    dirs="$work"
    for dir in fuzz/corpus/$target fuzz/regressions/$target tests/data examples; do
        [ -d "$dir" ] && dirs="$dirs $dir"
    done
    echo "== fuzz_$target for ${FUZZ_SECONDS}s"
    # shellcheck disable=SC2086 # the folder list is split on purpose
    if ! "$FUZZ_BUILD/fuzz/fuzz_$target" -dict=fuzz/orb.dict -max_total_time="$FUZZ_SECONDS" \
        -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$artifacts/" $dirs >"$log" 2>&1; then
        tail -n 60 "$log"
        echo "fuzz_$target: FINDING (input in $artifacts/, log in $log)"
        exit 1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    total=$((total + runs))
    line=$(printf '%-18s %10s executions %8s per second' "fuzz_$target" "$runs" "$rate")
    echo "$line"
    summary="$summary$line\n"
done
printf '\nNo findings.\n%b%-18s %10s executions in all\n' "$summary" "total" "$total"
