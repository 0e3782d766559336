#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UBSan, folder build-fuzz/) and runs each
# one for SECONDS from a scratch copy of its seed corpus fuzz/corpus/<target>/, so that the
# inputs a run finds stay out of the repository. Any crash, sanitizer report, leak, or input
# that runs longer than the time-out fails the run; the input that did it is kept in
# build-fuzz/artifacts/<target>/ and named in the output.
#   fuzz/run.sh [SECONDS] [TARGET...]     (default: 30 seconds, every target)
# Environment: TW_FUZZ_BUILD (build folder), TW_FUZZ_KEEP=1 keeps the scratch corpora.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
shift || true
build=${TW_FUZZ_BUILD:-build-fuzz}

if ! command -v clang++ >/dev/null; then
    echo "fuzz/run.sh: clang++ is needed (./build.sh fuzz installs it)" >&2
    exit 2
fi

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for src in fuzz/fuzz_*.cpp; do
        name=$(basename "$src" .cpp)
        targets+=("${name#fuzz_}")
    done
fi

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DTW_WERROR=ON -DTW_FUZZ=ON \
    -DTW_SANITIZE=ON -DTW_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" --target "${targets[@]/#/fuzz_}"

scratch=$(mktemp -d)
[ "${TW_FUZZ_KEEP:-0}" = 1 ] || trap 'rm -rf "$scratch"' EXIT

failed=()
summary=()
for target in "${targets[@]}"; do
    corpus=$scratch/$target
    artifacts=$build/artifacts/$target
    mkdir -p "$corpus" "$artifacts"
    if [ -d "fuzz/corpus/$target" ]; then
        cp -r "fuzz/corpus/$target/." "$corpus/"
    fi
    log=$build/artifacts/$target.log
    echo "== fuzz_$target for ${seconds}s"
    rc=0
    ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1} \
        "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1 || rc=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    summary+=("$(printf '%-16s %10s runs %8s exec/s  %s' "$target" "${runs:-?}" "${rate:-?}" \
        "$([ $rc -eq 0 ] && echo ok || echo FAILED)")")
    if [ $rc -ne 0 ]; then
        failed+=("$target")
        tail -n 60 "$log"
        echo "fuzz_$target failed (exit $rc); log $log, input in $artifacts/"
    fi
done

echo "== fuzz summary (${seconds}s each)"
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -ne 0 ]; then
    echo "failed: ${failed[*]}"
    exit 1
fi
