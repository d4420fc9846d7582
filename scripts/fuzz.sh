#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UBSan) into ./build-fuzz and
# runs each target in turn for a chosen time.
#
#   bash scripts/fuzz.sh [-t SECONDS] [--merge] [--keep-going] [--artifacts DIR] [TARGET...]
#
#   -t SECONDS      time per target (default 60; 0 runs nothing, e.g. with --merge)
#   --merge         afterwards, merge the new inputs that add coverage and are at most 4 KB
#                   into the checked-in corpus fuzz/corpus/<target>/
#   --keep-going    go on after a fault (libFuzzer's fork mode), to find the next one too
#   --artifacts DIR where inputs that crash, leak, hang or exhaust memory go (default: the
#                   target's corpus folder, so the fault is replayed by ctest from then on)
#   TARGET          ini settings iso8601 catalogue httpdate cloudpicture jpeg polylines
#                   countries splitcommand openlink parsecoord waypointfile findtext (default: all)
#
# New corpus entries are kept between runs in build-fuzz/work/<target>/. The exit status is
# non-zero when any target found a fault. At the end each target's executions are listed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

seconds=60
merge=0
keep_going=()
artifacts=
targets=()
while [ $# -gt 0 ]; do
    case "$1" in
        -t) seconds=$2; shift 2 ;;
        --merge) merge=1; shift ;;
        --keep-going) keep_going=(-fork=1 -ignore_crashes=1 -ignore_ooms=1 -ignore_timeouts=1)
                      shift ;;
        --artifacts) artifacts=$(realpath -m "$2"); shift 2 ;;
        -h|--help) sed -n '2,18p' "$0"; exit 0 ;;
        -*) echo "unknown option $1" >&2; exit 2 ;;
        *) targets+=("$1"); shift ;;
    esac
done
if [ ${#targets[@]} -eq 0 ]; then
    for dir in fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi

bash scripts/deps.sh --fuzz
build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g" \
    -DNIMBORA_FUZZ=ON -DNIMBORA_TESTS=OFF -DNIMBORA_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"

# The targets that read files write one per input; memory is faster than the disk. A target that
# crashes leaves its scratch folder behind, so all of them live in one folder removed at the end.
base=/tmp
[ -w /dev/shm ] && base=/dev/shm
TMPDIR=$(mktemp -d "$base/nimbora-fuzz-run.XXXXXX")
export TMPDIR
trap 'rm -rf "$TMPDIR"' EXIT
export ASAN_OPTIONS=detect_leaks=1:strict_init_order=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

failed=()
summary=()
for t in "${targets[@]}"; do
    exe=$build/fuzz/fuzz_$t
    corpus=fuzz/corpus/$t
    work=$build/work/$t
    [ -x "$exe" ] || { echo "no fuzz target $t" >&2; exit 2; }
    mkdir -p "$work" "$corpus"
    out=${artifacts:-$root/$corpus}
    mkdir -p "$out"
    if [ "$seconds" -gt 0 ]; then
        echo "=== $t: $seconds s"
        log=$build/work/$t.log
        before=$(find "$out" -maxdepth 1 -name "$t-*" | wc -l)
        status=0
        # New entries go into the first folder (the scratch corpus), never into fuzz/corpus.
        "$exe" "$work" "$corpus" -max_total_time="$seconds" -max_len=65536 -timeout=30 \
            -rss_limit_mb=2560 -artifact_prefix="$out/$t-" -print_final_stats=1 \
            "${keep_going[@]}" >"$log" 2>&1 || status=$?
        found=$(( $(find "$out" -maxdepth 1 -name "$t-*" | wc -l) - before ))
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
        # Fork mode reports its total as "#<runs>: cov: ..." lines.
        [ -n "$runs" ] || runs=$(grep -oE '^#[0-9]+:' "$log" | tail -1 | tr -d '#:')
        if [ "$status" -ne 0 ] || [ "$found" -gt 0 ]; then
            failed+=("$t")
            grep -E "^==[0-9]+==ERROR|SUMMARY|property failed|runtime error|Test unit written" \
                "$log" | sort | uniq -c | head -12 || true
            summary+=("$t: $found fault input(s) in ${runs:-?} runs (log $log)")
        else
            summary+=("$t: ${runs:-?} runs, no fault")
        fi
    fi
    if [ "$merge" -eq 1 ]; then
        # Only small inputs are candidates; libFuzzer keeps those that add coverage.
        small=$(mktemp -d)
        find "$work" -maxdepth 1 -type f -size -4097c -exec cp {} "$small"/ \;
        "$exe" -merge=1 "$corpus" "$small" >"$build/work/$t.merge.log" 2>&1 ||
            echo "merge of $t failed, see $build/work/$t.merge.log" >&2
        rm -rf "$small"
        echo "$t: corpus now $(find "$corpus" -type f | wc -l) files"
    fi
done

printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
    echo "Faults found in: ${failed[*]}" >&2
    exit 1
fi
