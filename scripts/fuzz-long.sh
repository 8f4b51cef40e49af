#!/usr/bin/env bash
# The long fuzzing campaign: builds the fuzz preset and runs every fuzz
# target for SECONDS-PER-TARGET (default 1800), then prints per target the
# executions, the coverage reached and the findings.
#
#   scripts/fuzz-long.sh [-j JOBS] [SECONDS-PER-TARGET]
#
# -j runs that many targets side by side (default 1: the machine is shared).
# Each target starts from its committed seeds (tests/fuzz/corpus/<target>/)
# copied into build/fuzz/fuzz-long/<target>/corpus, together with what
# earlier campaigns left there; what the run adds stays there, so the
# committed corpus never grows by itself (remove build/fuzz/fuzz-long to
# start from the seeds alone). A crashing, leaking, hanging or exhausting
# input lands in build/fuzz/fuzz-long/<target>/findings/ and the target
# goes on fuzzing for the rest of its time. A finding is fixed in the product and kept as a seed or
# a unit test. The exit code is 1 when anything was found.
#
# KELVO_FUZZ_DIR names another, already configured fuzz build tree to build
# and use (and work in) instead of the preset's build/fuzz; KELVO_FUZZ_ARGS adds libFuzzer
# options (e.g. -max_len=65536).
set -euo pipefail

usage() {
    echo "usage: $0 [-j JOBS] [SECONDS-PER-TARGET]" >&2
    exit 2
}

parallel=1
while getopts "j:h" option; do
    case $option in
    j) parallel=$OPTARG ;;
    *) usage ;;
    esac
done
shift $((OPTIND - 1))
seconds=${1:-1800}
[[ $# -le 1 && $seconds =~ ^[0-9]+$ && $seconds -gt 0 && $parallel =~ ^[0-9]+$ && $parallel -gt 0 ]] || usage

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if [[ -n ${KELVO_FUZZ_DIR:-} ]]; then
    build=$(cd "$KELVO_FUZZ_DIR" && pwd)
    cmake --build "$build"
else
    build=$root/build/fuzz
    cmake --preset fuzz
    cmake --build --preset fuzz
fi

work=$build/fuzz-long
targets=()
for seeds in tests/fuzz/corpus/*/; do
    target=$(basename "$seeds")
    if [[ ! -x $build/tests/fuzz/${target}_fuzz ]]; then
        echo "$0: no fuzz target $build/tests/fuzz/${target}_fuzz for the seeds in $seeds" >&2
        exit 1
    fi
    targets+=("$target")
done

# A run stops at its first finding; the target then starts again for the
# rest of its time, at most this many times.
max_findings=20

# Runs one target for its whole time; writes its figures to $dir/result.
campaign() {
    local target=$1
    local dir=$work/$target
    local exe=$build/tests/fuzz/${target}_fuzz
    mkdir -p "$dir/corpus" "$dir/findings"
    cp "tests/fuzz/corpus/$target/"* "$dir/corpus/"
    : >"$dir/log"
    local deadline=$((SECONDS + seconds))
    local runs=0 executions=0
    while ((SECONDS < deadline && runs <= max_findings)); do
        runs=$((runs + 1))
        local log=$dir/run-$runs.log
        local status=0
        # shellcheck disable=SC2086 # KELVO_FUZZ_ARGS is a list of options
        (cd "$dir" && "$exe" -max_total_time=$((deadline - SECONDS)) -timeout=30 -print_final_stats=1 \
            -artifact_prefix="$dir/findings/" ${KELVO_FUZZ_ARGS:-} corpus >"$log" 2>&1) || status=$?
        cat "$log" >>"$dir/log"
        local ran
        ran=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
        executions=$((executions + ${ran:-0}))
        # Only a finding ends a run before its time is up.
        ((status != 0)) || break
    done
    local coverage
    coverage=$(grep -o "cov: [0-9]* ft: [0-9]* corp: [0-9]*/[0-9a-zA-Z]*" "$dir/log" | tail -1 || true)
    local findings
    findings=$(find "$dir/findings" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
        -o -name 'oom-*' \) | wc -l)
    printf '%s\t%s\t%s\t%s\n' "$target" "$executions" "${coverage:-no coverage line}" "$findings" \
        >"$dir/result"
}

echo "fuzzing ${#targets[@]} targets for $seconds s each, $parallel at a time; work in $work"
for target in "${targets[@]}"; do
    rm -f "$work/$target/result"
    while (($(jobs -rp | wc -l) >= parallel)); do
        wait -n || true
    done
    echo "  $target started $(date +%H:%M:%S)"
    campaign "$target" &
done
wait

found=0
printf '\n%-10s %14s %11s  %-36s %s\n' target executions "exec/s" "coverage at the end" findings
for target in "${targets[@]}"; do
    if [[ ! -f $work/$target/result ]]; then
        echo "$target: the campaign broke off, see $work/$target/log"
        found=1
        continue
    fi
    IFS=$'\t' read -r name executions coverage findings <"$work/$target/result"
    printf '%-10s %14s %11s  %-36s %s\n' "$name" "$executions" $((executions / seconds)) "$coverage" "$findings"
    if ((findings > 0)); then
        found=1
        find "$work/$target/findings" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
            -o -name 'oom-*' \) -printf '           %p\n'
    fi
done
exit $found
