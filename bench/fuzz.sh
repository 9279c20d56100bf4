#!/usr/bin/env bash
# Runs the fuzz targets under libFuzzer, one after the other, each for a
# given time: bench/fuzz.sh [seconds-per-target] [target...] (default 60 s,
# every target of fuzz/targets). Builds build-fuzz with clang (ASan, UBSan,
# coverage) first.
#
# Each target runs in build-fuzz/fuzz-runs/NAME/: corpus/ gathers what the
# fuzzer finds (kept, so a later run goes on from it; the seeds of
# fuzz/corpus/NAME are read, never written), crashes/ keeps any input that
# failed, log is libFuzzer's output. Prints per target the executions,
# executions per second and coverage (cov: edges, ft: features) of libFuzzer's
# final stats; exits 1 when a target failed.
#
# A single process per target (no -jobs): the machine's cores are shared.
# To pick seeds from a run, minimize it into a new folder:
#   build-fuzz/fuzz/fuzz_NAME -merge=1 NEW_FOLDER build-fuzz/fuzz-runs/NAME/corpus
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ROOT/scripts/packages.sh"

seconds=${1:-60}
shift || true
ensure_packages "${BUILD_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}" >&2 || exit 1

BUILD="$ROOT/build-fuzz"
if [ ! -f "$BUILD/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQXS_FUZZ=ON -DQXS_BUILD_TESTS=OFF >&2 || exit 1
fi
ninja -C "$BUILD" fuzz_targets >&2 || exit 1

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in "$ROOT"/fuzz/targets/*.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi

scratch_base=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch_base=/dev/shm
status=0
summary=()
for name in "${targets[@]}"; do
  binary="$BUILD/fuzz/fuzz_$name"
  if [ ! -x "$binary" ]; then
    echo "no target $name" >&2
    status=1
    continue
  fi
  run="$BUILD/fuzz-runs/$name"
  mkdir -p "$run/corpus" "$run/crashes"
  seeds=()
  [ -d "$ROOT/fuzz/corpus/$name" ] && seeds=("$ROOT/fuzz/corpus/$name")
  echo "== $name: $seconds s" >&2
  # The target's temporary home goes to memory where there is some: on a
  # disk, file creation and renames make most targets ten times slower.
  # Removed after the run, also when a failure left it behind.
  scratch=$(mktemp -d "$scratch_base/qxs-fuzz-run-XXXXXX")
  TMPDIR="$scratch" "$binary" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 \
    -rss_limit_mb=2048 -artifact_prefix="$run/crashes/" "$run/corpus" "${seeds[@]}" \
    > "$run/log" 2>&1
  result=$?
  rm -rf "$scratch"
  # The last status line ("#N DONE cov: C ft: F corp: ...") and the final stats.
  line=$(grep -E '^#[0-9]+' "$run/log" | tail -n 1)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$line")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$line")
  corp=$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$line")
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$run/log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$run/log")
  verdict=ok
  if [ "$result" -ne 0 ]; then
    verdict="FAILED (exit $result; inputs in $run/crashes, output in $run/log)"
    status=1
  fi
  summary+=("$(printf '%-18s %12s execs %8s exec/s  cov %6s  ft %7s  corpus %6s  %s' \
    "$name" "${execs:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" "${corp:-?}" "$verdict")")
  echo "${summary[-1]}"
done
echo "== summary ($seconds s per target)"
printf '%s\n' "${summary[@]}"
exit $status
