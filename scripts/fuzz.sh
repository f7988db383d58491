#!/usr/bin/env bash
# Builds the fuzz harnesses with clang in build-fuzz and runs each of them for
# the given number of seconds (default 60), or only the harnesses named:
#
#     bash scripts/fuzz.sh [--jobs N] [SECONDS] [HARNESS...]
#
# HARNESS is a name like collection_file (see fuzz/CMakeLists.txt). --jobs
# runs that many harnesses at once. Each harness starts from the seeds made
# from the recorded service answers and keeps what it learns in
# build-fuzz/corpus/HARNESS for the next run; a finding is written to
# build-fuzz/findings/ and makes the script exit with 1.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"

jobs=1
if [ "${1:-}" = "--jobs" ]; then
    jobs="$2"
    shift 2
fi
seconds="${1:-60}"
shift || true

build=build-fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_COMPILER=clang++ -DTALLOWK_FUZZ=ON > /dev/null
cmake --build "$build" --parallel "$(nproc 2>/dev/null || echo 2)"
rm -rf "$build/seeds"
python3 fuzz/make-seeds.py "$build/seeds"
mkdir -p "$build/findings" "$build/logs"

harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
    for program in "$build"/bin/fuzz_*; do
        harnesses+=("$(basename "$program" | sed 's/^fuzz_//')")
    done
fi

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

# Runs one harness; its last lines (executions, coverage) go to the terminal.
run() {
    local name="$1"
    local corpus="$build/corpus/$name"
    local log="$build/logs/$name.log"
    mkdir -p "$corpus"
    if "$build/bin/fuzz_$name" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=262144 \
           -print_final_stats=1 -artifact_prefix="$build/findings/$name-" \
           "$corpus" "$build/seeds/$name" > "$log" 2>&1; then
        echo "$name: $(grep -m1 '^stat::number_of_executed_units' "$log" | awk '{print $2}') runs in ${seconds} s, no finding"
    else
        echo "$name: FINDING (see $log and $build/findings/)"
        tail -n 40 "$log"
        return 1
    fi
}

status=0
running=0
for name in "${harnesses[@]}"; do
    if [ ! -x "$build/bin/fuzz_$name" ]; then
        echo "no such harness: $name" >&2
        exit 2
    fi
    run "$name" &
    running=$((running + 1))
    if [ "$running" -ge "$jobs" ]; then
        wait -n || status=1
        running=$((running - 1))
    fi
done
while [ "$running" -gt 0 ]; do
    wait -n || status=1
    running=$((running - 1))
done
exit "$status"
