#!/usr/bin/env bash
# run-fuzz.sh BUILD_DIR SECONDS TARGET...: runs each libFuzzer target fuzz_TARGET for SECONDS on
# its working corpus BUILD_DIR/corpus/TARGET, seeded from fuzz/corpus/TARGET, then prints the
# coverage each run reached. Crash inputs go to BUILD_DIR/artifacts/; fails if any target failed.
set -uo pipefail
build=$1 seconds=$2
shift 2
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$build/logs" "$build/artifacts"
failed=()
for t in "$@"; do
    mkdir -p "$build/corpus/$t"
    seeds=()
    [ -d "$root/fuzz/corpus/$t" ] && seeds=("$root/fuzz/corpus/$t")
    log="$build/logs/fuzz_$t.log"
    echo "fuzz_$t: ${seconds} s (log: $log)"
    if ! "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/fuzz_$t-" "$build/corpus/$t" "${seeds[@]}" >"$log" 2>&1; then
        failed+=("$t")
        grep -E "ERROR|SUMMARY|Test unit written" "$log" | head -5
    fi
done
echo "Coverage reached (libFuzzer's cov: edges, ft: features, corpus units, exec/s):"
for t in "$@"; do
    log="$build/logs/fuzz_$t.log"
    last=$(grep -E "^#[0-9]+.*cov: " "$log" | tail -1)
    cov=$(sed -nE 's/.*cov: ([0-9]+).*/\1/p' <<<"$last")
    ft=$(sed -nE 's/.*ft: ([0-9]+).*/\1/p' <<<"$last")
    corp=$(sed -nE 's/.*corp: ([0-9]+).*/\1/p' <<<"$last")
    rate=$(sed -nE 's/^stat::average_exec_per_sec: *([0-9]+)/\1/p' "$log")
    state=ok
    [[ " ${failed[*]} " == *" $t "* ]] && state=FAILED
    printf '  %-18s cov %-6s ft %-7s corpus %-6s exec/s %-7s %s\n' "fuzz_$t" "${cov:-?}" \
        "${ft:-?}" "${corp:-?}" "${rate:-?}" "$state"
done
[ ${#failed[@]} -eq 0 ]
