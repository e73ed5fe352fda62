#!/usr/bin/env bash
# Builds the libFuzzer targets (preset `fuzz`: clang, ASan + UBSan) and runs each one for a
# bounded time on a copy of its seed corpus (so the committed seeds never grow), with the
# dictionary fuzz/<target>.dict when there is one. Any crash, sanitizer report, leak, hang or
# failed round trip fails the script; the input that caused it is kept in
# <build dir>/fuzz-artifacts/<target>/ to reproduce it with `<fuzzer> <input>`.
# CI runs the same targets through `cmake --workflow --preset fuzz` (fuzz/CMakeLists.txt); this
# script is for longer runs from fresh seeds and prints each target's statistics.
#
#   QUILL_FUZZ_SECONDS    seconds per target (default 45)
#   QUILL_FUZZ_BUILD_DIR  build directory (default build/fuzz, the preset's own)
#   QUILL_FUZZ_PARALLEL   targets run at the same time (default 1: the targets start threads
#                         of their own, which two fuzzers on two cores starve)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${QUILL_FUZZ_SECONDS:-45}
build=${QUILL_FUZZ_BUILD_DIR:-build/fuzz}
parallel=${QUILL_FUZZ_PARALLEL:-1}
targets=(fuzz_msh_load fuzz_obj_reader fuzz_side_file fuzz_round_trip)

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j2 --target fuzzers

work=$(mktemp -d "${TMPDIR:-/tmp}/quill-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
artifacts="$build/fuzz-artifacts"
rm -rf "$artifacts"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# Runs one target; its log, corpus and crash inputs stay under $work/<target>/.
fuzz_one() {
    local target=$1 dir=$work/$1
    mkdir -p "$dir/corpus" "$dir/crashes"
    cp fuzz/corpus/"$target"/* "$dir/corpus/"
    local options=(-max_total_time="$seconds" -timeout=20 -close_fd_mask=3 -print_final_stats=1
                   -artifact_prefix="$dir/crashes/")
    [ -f "fuzz/$target.dict" ] && options+=(-dict="fuzz/$target.dict")
    local status=0
    "$build/fuzz/$target" "${options[@]}" "$dir/corpus" >"$dir/log" 2>&1 || status=$?
    echo "$status" >"$dir/status"
}

running=0
for target in "${targets[@]}"; do
    fuzz_one "$target" &
    running=$((running + 1))
    if [ "$running" -ge "$parallel" ]; then
        wait -n || true
        running=$((running - 1))
    fi
done
wait

failed=0
printf '%-18s %12s %8s %8s %s\n' target executions cov ft result
for target in "${targets[@]}"; do
    dir=$work/$target
    status=$(cat "$dir/status")
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -n 1)
    coverage=$(grep -E '^#[0-9]+[[:space:]]+(DONE|NEW|REDUCE|pulse|INITED)' "$dir/log" | tail -n 1 || true)
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$coverage")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$coverage")
    result=ok
    if [ "$status" != 0 ] || ls "$dir/crashes"/* >/dev/null 2>&1; then
        result="FAILED (status $status)"
        failed=1
    fi
    printf '%-18s %12s %8s %8s %s\n' "$target" "${executions:-?}" "${cov:-?}" "${ft:-?}" "$result"
done

if [ "$failed" != 0 ]; then
    for target in "${targets[@]}"; do
        dir=$work/$target
        if [ "$(cat "$dir/status")" != 0 ] || ls "$dir/crashes"/* >/dev/null 2>&1; then
            printf '\n--- %s (last lines of its log)\n' "$target"
            tail -n 60 "$dir/log"
            mkdir -p "$artifacts/$target"
            cp "$dir/crashes"/* "$artifacts/$target/" 2>/dev/null || true
        fi
    done
    echo "fuzz: a target failed; inputs kept in $artifacts" >&2
    exit 1
fi
echo "fuzz: every target ran ${seconds}s without a failure"
