#!/bin/sh
# Builds the fuzz targets (fuzz/) with clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz/, and runs them one after the other, each for
# FUZZ_RUNS executions or FUZZ_SECONDS seconds, whichever comes first. Any crash, leak,
# sanitizer report, input slower than one second per megabyte of the longest input allowed, or
# input that needs more than FUZZ_RSS_MB of memory stops that target and is saved under
# build-fuzz/findings/. Prints executions, time and final corpus size per target.
# Usage: sh scripts/fuzz.sh [table] [structure] [cmdline]        (all three by default)
# Environment: FUZZ_RUNS (1000000), FUZZ_SECONDS (900), FUZZ_RSS_MB (1024), FUZZ_TIMEOUT
# (seconds per input; one second per megabyte of the longest input, at least 1, by default)
set -eu
cd "$(dirname "$0")/.."
. scripts/ensure-tools.sh
if ! command -v clang++ >/dev/null 2>&1; then
    if [ "$(id -u)" = 0 ]; then
        apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang
    else
        echo "missing: clang (run as root to install it with apt-get)" >&2
        exit 1
    fi
fi

runs=${FUZZ_RUNS:-1000000}
seconds=${FUZZ_SECONDS:-900}
rss=${FUZZ_RSS_MB:-1024}
timeout_override=${FUZZ_TIMEOUT:-}
targets=${*:-table structure cmdline}
build=build-fuzz

cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORVEX_FUZZ=ON -DORVEX_BUILD_TESTS=OFF >/dev/null
for t in $targets; do
    cmake --build "$build" -j2 --target "${t}_fuzzer"
done

# Longest input each target is given (the seeds are shorter).
max_len() {
    case $1 in
        table) echo 16384 ;;
        structure) echo 32768 ;;
        *) echo 2048 ;;
    esac
}

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:print_stacktrace=1"
# faults already found and left to their own fix are passed over (fuzz/known-findings.supp)
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$(pwd)/fuzz/known-findings.supp"
summary=""
failed=0
for t in $targets; do
    len=$(max_len "$t")
    # one second per megabyte of the longest input, and libFuzzer counts whole seconds
    timeout=${timeout_override:-$(( (len + 1048575) / 1048576 ))}
    corpus="$build/corpus/$t"
    mkdir -p "$corpus" "$build/findings"
    cp fuzz/corpus/"$t"/* "$corpus"/
    log="$build/$t.log"
    echo "== $t: up to $runs executions or $seconds s, -max_len=$len -timeout=$timeout -rss_limit_mb=$rss" >&2
    start=$(date +%s)
    status=0
    # one process (no -jobs/-workers): the machine is shared; -close_fd_mask=3 silences the
    # program's own streams while libFuzzer and the sanitizers keep theirs
    "$build/fuzz/${t}_fuzzer" "$corpus" -dict="fuzz/$t.dict" -max_len="$len" -timeout="$timeout" \
        -rss_limit_mb="$rss" -malloc_limit_mb="$rss" -runs="$runs" -max_total_time="$seconds" \
        -artifact_prefix="$build/findings/$t-" -close_fd_mask=3 -print_final_stats=1 \
        >"$log" 2>&1 || status=$?
    elapsed=$(( $(date +%s) - start ))
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    files=$(find "$corpus" -type f | wc -l)
    bytes=$(du -sb "$corpus" | cut -f1)
    if [ "$status" = 0 ]; then
        result="no finding"
    elif slow=$(ls "$build/findings/$t-timeout-"* 2>/dev/null | tail -1) && [ -n "$slow" ]; then
        # libFuzzer times by the wall clock: on a loaded machine replay the input once alone
        again=$("$build/fuzz/${t}_fuzzer" -timeout="$timeout" -close_fd_mask=3 "$slow" 2>&1 |
            sed -n 's/^Executed .* in \([0-9]*\) ms$/\1/p')
        result="FINDING (exit $status): timeout, $slow; replayed alone in ${again:-more than $timeout s} ms"
        failed=1
    else
        result="FINDING (exit $status): $(grep -m1 -E 'ERROR|runtime error|Test unit written' "$log" || echo "see $log")"
        failed=1
    fi
    summary="$summary$t: ${execs:-?} executions in ${elapsed} s, corpus ${files} files / ${bytes} bytes, $result
"
done
printf '%s' "$summary"
exit $failed
