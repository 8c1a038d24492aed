#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a set time, a few at a time, and prints
# one line per target: executions, executions per second, and whether it found
# anything. New inputs that reach new code go to <build>/fuzz-corpus/<name> (the
# saved corpus in Tests/fuzz/corpus is read, never written); a finding is saved
# under <build>/fuzz-findings/<name>/, to be mended and then kept in the saved
# corpus as a regression input. Fails when any target found something.
set -euo pipefail
build=${1:-Bin/fuzz}
seconds=${2:-60}
jobs=${3:-1}
corpus=Tests/fuzz/corpus

targets=()
for bin in "$build"/bin/*_fuzz; do
    [ -x "$bin" ] && targets+=("$(basename "$bin" _fuzz)")
done
[ ${#targets[@]} -gt 0 ] || { echo "no fuzz targets in $build/bin" >&2; exit 1; }

run_one() {
    local name=$1
    local work="$build/fuzz-corpus/$name" findings="$build/fuzz-findings/$name" log="$build/fuzz-logs/$name.log"
    local seeds=()
    [ -d "$corpus/$name" ] && seeds=("$corpus/$name")
    rm -rf "$findings"
    mkdir -p "$work" "$findings" "$(dirname "$log")"
    "$build/bin/${name}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$findings/" "$work" "${seeds[@]}" >"$log" 2>&1 || true
}
export -f run_one
export build seconds corpus

echo "Fuzzing ${#targets[@]} targets for ${seconds} s each, $jobs at a time"
printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one {}'

status=0
printf '%-26s %12s %10s  %s\n' target executions exec/s result
for name in "${targets[@]}"; do
    log="$build/fuzz-logs/$name.log"
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    found=$(find "$build/fuzz-findings/$name" -type f | head -1)
    if [ -n "$found" ] || ! grep -q '^Done [0-9]* runs' "$log"; then
        status=1
        printf '%-26s %12s %10s  %s\n' "$name" "${runs:-?}" "${rate:-?}" "FINDING ${found:-see $log}"
    else
        printf '%-26s %12s %10s  %s\n' "$name" "${runs:-?}" "${rate:-?}" clean
    fi
done
exit $status
