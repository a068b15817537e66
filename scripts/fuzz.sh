#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for a fixed time.
#
#   scripts/fuzz.sh SECONDS [-j JOBS] [TARGET...]
#
# SECONDS is the run time of every target (CI uses 20). JOBS targets run at once (default 1).
# TARGETs default to all: off smf obj ply pgm vgf orbit lists. ORVALIS_FUZZ_BUILD names another
# build folder.
#
# Each target starts from its seeds (fuzz/corpus/<target>: small sound files of its format, kept
# and edited by hand like the readers' test corpora), its saved crashes
# (fuzz/regressions/<target>) and, where there is one, the reader's test corpus
# (tests/corpus/<format>); what it learns is kept in build-fuzz/fuzz-corpus/<target> for the
# next run. A crash, hang, leak or failed check leaves its input in build-fuzz/fuzz-findings/
# and makes the script fail. Every run appends "date target elapsed-seconds executions result" to
# build-fuzz/fuzz-runs.log.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${ORVALIS_FUZZ_BUILD:-$root/build-fuzz}"
all_targets=(off smf obj ply pgm vgf orbit lists)

usage() {
    echo "usage: scripts/fuzz.sh SECONDS [-j JOBS] [TARGET...]" >&2
    exit 2
}

[ $# -ge 1 ] || usage
seconds=$1
shift
[[ "$seconds" =~ ^[0-9]+$ ]] || usage
jobs=1
if [ "${1:-}" = "-j" ]; then
    [ $# -ge 2 ] && [[ "$2" =~ ^[1-9][0-9]*$ ]] || usage
    jobs=$2
    shift 2
fi
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all_targets[@]}")
for t in "${targets[@]}"; do
    [[ " ${all_targets[*]} " == *" $t "* ]] || { echo "unknown target: $t" >&2; usage; }
done

# shellcheck source=packages.sh
source "$root/scripts/packages.sh"
install_missing "${fuzz_packages[@]}"

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER=clang++-14 -DORVALIS_FUZZ=ON -DORVALIS_TESTS=OFF -DORVALIS_BENCH=OFF \
        -DORVALIS_WERROR=ON >/dev/null
fi
# Runs started side by side must not build the same tree at once.
flock "$build/.build-lock" cmake --build "$build" -j 2 --target $(printf 'fuzz_%s ' "${targets[@]}")

declare -A test_corpus=([ply]=ply [pgm]=pgm [vgf]=vgf [orbit]=orbit)
declare -A max_len=([off]=8192 [smf]=8192 [obj]=8192 [ply]=8192)

run_one() {
    local t=$1
    local work="$build/fuzz-corpus/$t" findings="$build/fuzz-findings/$t/"
    mkdir -p "$work" "$findings"
    local dirs=("$work" "$root/fuzz/corpus/$t")
    [ -d "$root/fuzz/regressions/$t" ] && dirs+=("$root/fuzz/regressions/$t")
    if [ -n "${test_corpus[$t]:-}" ] && [ -d "$root/tests/corpus/${test_corpus[$t]}" ]; then
        dirs+=("$root/tests/corpus/${test_corpus[$t]}")
    fi
    local opts=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -close_fd_mask=3
                -print_final_stats=1 -artifact_prefix="$findings" -max_len="${max_len[$t]:-4096}")
    [ -f "$root/fuzz/dict/$t.dict" ] && opts+=(-dict="$root/fuzz/dict/$t.dict")
    local log="$build/fuzz-logs/$t.log"
    mkdir -p "$build/fuzz-logs"
    local status=0 start=$SECONDS
    (cd "$build" && "$build/fuzz/fuzz_$t" "${opts[@]}" "${dirs[@]}") >"$log" 2>&1 ||
        status=$?
    local elapsed=$((SECONDS - start)) execs
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    local result=ok
    [ "$status" -eq 0 ] || result="FAILED(status $status)"
    printf '%s %s %s %s %s\n' "$(date -u +%Y-%m-%dT%H:%M:%SZ)" "$t" "$elapsed" "${execs:-0}" \
        "$result" >>"$build/fuzz-runs.log"
    printf 'fuzz_%-6s %5ss %10s executions  %s\n' "$t" "$elapsed" "${execs:-0}" "$result"
    if [ "$status" -ne 0 ]; then
        grep -E 'ERROR|SUMMARY|fuzz check failed|Test unit written' "$log" | head -20 >&2 || true
        return 1
    fi
}

failed=0
running=0
for t in "${targets[@]}"; do
    if [ "$running" -ge "$jobs" ]; then
        wait -n || failed=1
        running=$((running - 1))
    fi
    run_one "$t" &
    running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
    wait -n || failed=1
    running=$((running - 1))
done
if [ "$failed" -ne 0 ]; then
    echo "fuzzing found a fault: inputs are in $build/fuzz-findings/" >&2
    exit 1
fi
