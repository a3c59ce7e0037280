#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
#
# Builds the libFuzzer targets with clang and runs each for FUZZ_SECONDS under AddressSanitizer
# and UndefinedBehaviorSanitizer. The targets are the ones fuzz/CMakeLists.txt defines, as the
# configured build lists them in $FUZZ_BUILD/fuzz/targets.txt (FUZZ_TARGETS picks some of them).
# Fails on the first finding; the input that caused it is left in $FUZZ_BUILD/artifacts/<target>/
# and belongs in fuzz/regressions/<target>/ once understood. Fails as well when no target is
# found, or a target ran no input or saw no coverage: such a run proves nothing.
set -eu

cd "$(dirname "$0")/.."
FUZZ_SECONDS=${FUZZ_SECONDS:-60}
FUZZ_BUILD=${FUZZ_BUILD:-build-fuzz}
JOBS=${JOBS:-$(nproc)}

fail() {
    echo "run-fuzzers: $*" >&2
    exit 1
}

CC=clang-14 CXX=clang++-14 cmake -S . -B "$FUZZ_BUILD" -DORB_FUZZ=ON \
    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" >/dev/null
# The command-line targets change their working folder: every path handed to libFuzzer is
# absolute, or its new inputs and artifacts would be written into that folder.
FUZZ_BUILD=$(cd "$FUZZ_BUILD" && pwd)
known=$(cat "$FUZZ_BUILD/fuzz/targets.txt")
[ -n "$known" ] || fail "the build lists no fuzz target ($FUZZ_BUILD/fuzz/targets.txt)"
targets=${FUZZ_TARGETS:-$known}
for target in $targets; do
    echo "$known" | grep -qx "$target" || fail "no fuzz target '$target' (known: $(echo "$known" | tr "\n" " "))"
done

if [ -z "${FUZZ_TARGETS:-}" ]; then
    cmake --build "$FUZZ_BUILD" --target fuzz-all -j "$JOBS"
else
    for target in $targets; do
        cmake --build "$FUZZ_BUILD" --target "fuzz_$target" -j "$JOBS"
    done
fi

export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1"
export LSAN_OPTIONS="suppressions=$PWD/tools/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

# CPU seconds of the finished children so far: on a shared machine executions per CPU second
# say more about a target than executions per second of the clock.
# `times` runs in this shell (a command substitution would count its own children only).
children_cpu() {
    awk 'NR == 2 { print ($1 + 0) * 60 + substr($1, index($1, "m") + 1) + ($2 + 0) * 60 + substr($2, index($2, "m") + 1) }' "$FUZZ_BUILD/times.txt"
}

summary=""
total=0
for target in $targets; do
    work="$FUZZ_BUILD/corpus/$target"
    artifacts="$FUZZ_BUILD/artifacts/$target"
    log="$FUZZ_BUILD/fuzz_$target.log"
    mkdir -p "$work" "$artifacts"
    # New inputs go to the first folder (the build's own); the others are read only.
    dirs="$work"
    for dir in fuzz/corpus/$target fuzz/regressions/$target tests/data examples; do
        [ -d "$dir" ] && dirs="$dirs $PWD/$dir"
    done
    echo "== fuzz_$target for ${FUZZ_SECONDS}s (load $(cut -d' ' -f1-3 /proc/loadavg))"
    status=0
    times >"$FUZZ_BUILD/times.txt"
    cpu_before=$(children_cpu)
    # shellcheck disable=SC2086 # the folder list is split on purpose
    "$FUZZ_BUILD/fuzz/fuzz_$target" -dict="$PWD/fuzz/orb.dict" -max_total_time="$FUZZ_SECONDS" \
        -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$artifacts/" $dirs >"$log" 2>&1 || status=$?
    if grep -q "no interesting inputs were found" "$log"; then
        tail -n 20 "$log"
        fail "fuzz_$target saw no coverage: its code is not instrumented (log in $log)"
    fi
    if [ "$status" -ne 0 ]; then
        tail -n 60 "$log"
        echo "fuzz_$target: FINDING (input in $artifacts/, log in $log)"
        exit 1
    fi
    times >"$FUZZ_BUILD/times.txt"
    cpu=$(awk -v a="$cpu_before" -v b="$(children_cpu)" 'BEGIN { printf "%.1f", b - a }')
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    coverage=$(sed -n 's/^#[0-9]*[[:space:]]*DONE[[:space:]]*cov: \([0-9]*\).*/\1/p' "$log")
    [ "${runs:-0}" -gt 0 ] || fail "fuzz_$target ran no input (log in $log)"
    [ "${coverage:-0}" -gt 0 ] || fail "fuzz_$target reached no covered code (log in $log)"
    total=$((total + runs))
    per_cpu=$(awk -v r="$runs" -v c="$cpu" 'BEGIN { printf "%.0f", c > 0 ? r / c : 0 }')
    line=$(printf '%-22s %9s executions, %6s/s, %6s per CPU second, %5s edges, load %s' \
        "fuzz_$target" "$runs" "$rate" "$per_cpu" "$coverage" "$(cut -d' ' -f1 /proc/loadavg)")
    echo "$line"
    summary="$summary$line\n"
done
printf '\nNo findings.\n%b%-24s %10s executions in all\n' "$summary" "total" "$total"
