#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each within a budget on a copy of its
# checked-in corpus and regression inputs, two fuzzers at a time. Prints per target the
# executions, libFuzzer's coverage figures (cov: edges, ft: features) and the corpus
# size, and exits non-zero on any finding (crash, sanitizer report, leak, timeout, out
# of memory); the inputs that found something are kept in <build>/findings/<target>/.
#
#   scripts/run_fuzzers.sh [--build-only|--run-only] [--seconds N | --runs N]
#                          [--max-len N] [--merge] [--report FILE] [fuzzer...]
#
#   --seconds N   run each fuzzer for N seconds (default 60; a bare number means the same)
#   --runs N      run each fuzzer for N executions instead: a campaign's budget
#   --max-len N   the longest input the fuzzers make (default 16384)
#   --merge       after a run without findings, minimise what the run grew together with
#                 the checked-in corpus to the inputs that reach every edge (-merge=1
#                 -use_counters=0) and replace fuzz/corpus/<fuzzer> with them, so that
#                 later runs start where this one ended
#   --report FILE append one line per fuzzer with its figures to FILE
#
# The build goes to $QIR_FUZZ_BUILD_DIR (default build/fuzz). ./test builds once with
# --build-only and lets ctest run each fuzzer with --run-only for 60 seconds.
set -euo pipefail

usage() {
  echo "usage: $0 [--build-only|--run-only] [--seconds N | --runs N] [--max-len N] [--merge] [--report FILE] [fuzzer...]" >&2
  exit 2
}
positive() { [[ "$1" =~ ^[0-9]+$ ]] && [ "$1" -ge 1 ]; }

build_step=1 run_step=1 seconds=60 runs="" max_len=16384 merge=0 report=""
names=()
while [ $# -gt 0 ]; do
  case "$1" in
  --build-only) run_step=0 ;;
  --run-only) build_step=0 ;;
  --seconds) positive "${2:-}" || usage; seconds="$2"; shift ;;
  --runs) positive "${2:-}" || usage; runs="$2"; shift ;;
  --max-len) positive "${2:-}" || usage; max_len="$2"; shift ;;
  --merge) merge=1 ;;
  --report) [ -n "${2:-}" ] || usage; report="$2"; shift ;;
  -*) usage ;;
  *) if positive "$1" && [ ${#names[@]} -eq 0 ]; then seconds="$1"; else names+=("$1"); fi ;;
  esac
  shift
done

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QIR_FUZZ_BUILD_DIR:-$root/build/fuzz}"
compiler="${QIR_FUZZ_CXX:-clang++-14}"

if [ "$build_step" -eq 1 ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER="$compiler" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQIR_FUZZ=ON -DQIR_BUILD_TESTS=OFF \
    -DQIR_WINDOWS_BUILD_DIR= -DQIR_SANITIZED_BUILD_DIR= -DQIR_FUZZ_BUILD_DIR= >/dev/null
  cmake --build "$build" -j2
fi
[ "$run_step" -eq 1 ] || exit 0

if [ "${#names[@]}" -eq 0 ]; then
  for exe in "$build"/fuzz/fuzz_*; do
    [ -x "$exe" ] && [ -f "$exe" ] && names+=("$(basename "$exe" | sed 's/^fuzz_//')")
  done
fi
if [ "${#names[@]}" -eq 0 ]; then
  echo "no fuzzers were built in $build" >&2
  exit 1
fi
for name in "${names[@]}"; do
  if [ ! -x "$build/fuzz/fuzz_$name" ]; then
    echo "fuzz_$name was not built in $build" >&2
    exit 1
  fi
done

if [ -n "$runs" ]; then budget=(-runs="$runs"); else budget=(-max_total_time="$seconds"); fi
common=(-timeout=20 -rss_limit_mb=2048 -malloc_limit_mb=1024 -max_len="$max_len")

# A smaller quarantine than AddressSanitizer's 256 MiB: a use after free is still caught
# within the last 16 MiB freed, which spans many runs, and the fuzzers run 1.4 to 1.8
# times as many inputs a second, since every run allocates and frees request buffers.
export ASAN_OPTIONS="quarantine_size_mb=16${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
# The runs' scratch files (the corpus copy, fuzz_command_line's log files) in memory
# where the machine has it: a file created and removed per run is cheap there.
scratch="${TMPDIR:-/tmp}"
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then scratch=/dev/shm; fi
export TMPDIR="$scratch"
work="$(mktemp -d "$scratch/qir-fuzz-run-XXXXXX")"
trap 'rm -rf "$work"' EXIT
findings="$build/findings"

run_one() {
  local name="$1" exe="$build/fuzz/fuzz_$1" dir="$work/$1"
  mkdir -p "$dir/corpus" "$dir/artifacts"
  # A copy: the checked-in corpus changes only through a merge after a clean run.
  for seeds in "$root/fuzz/corpus/$name" "$root/fuzz/regressions/$name"; do
    if [ -d "$seeds" ]; then cp -r "$seeds/." "$dir/corpus/"; fi
  done
  local dict=()
  if [ -f "$root/fuzz/dict/$name.dict" ]; then dict=(-dict="$root/fuzz/dict/$name.dict"); fi
  local rc=0 start end
  start=$(date +%s)
  (cd "$dir" && "$exe" "${budget[@]}" "${common[@]}" -print_final_stats=1 "${dict[@]}" \
      -artifact_prefix="$dir/artifacts/" "$dir/corpus" >"$dir/log" 2>&1) || rc=$?
  end=$(date +%s)
  echo $((end - start)) >"$dir/seconds"
  if [ "$merge" -eq 1 ] && [ "$rc" -eq 0 ] && [ -z "$(ls -A "$dir/artifacts")" ]; then
    mkdir -p "$dir/merged"
    # Features here are edges alone (no hit counts), so the set stays a few hundred
    # inputs: enough for every later run to start with all the edges reached.
    (cd "$dir" && "$exe" -merge=1 -use_counters=0 "${common[@]}" "$dir/merged" "$dir/corpus" \
        >"$dir/merge.log" 2>&1) || rc=$?
  fi
  echo "$rc" >"$dir/rc"
}

# Two at a time: the next one starts as soon as either slot is free.
running=0
for name in "${names[@]}"; do
  if [ "$running" -ge 2 ]; then
    wait -n || true
    running=$((running - 1))
  fi
  run_one "$name" &
  running=$((running + 1))
done
wait

status=0
total=0
revision="$(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)"
for name in "${names[@]}"; do
  dir="$work/$name"
  rc="$(cat "$dir/rc")"
  execs="$(awk '/stat::number_of_executed_units/ {print $2}' "$dir/log" | tail -1 || true)"
  execs="${execs:-0}"
  # The last status line holds the figures the run ended with.
  last="$(grep -E '^#[0-9]+' "$dir/log" | grep -E 'cov: ' | tail -1 || true)"
  cov="$(grep -Eo 'cov: [0-9]+' <<<"$last" | awk '{print $2}' || true)"
  ft="$(grep -Eo 'ft: [0-9]+' <<<"$last" | awk '{print $2}' || true)"
  total=$((total + execs))
  # Only this run's targets: another run may be fuzzing the others at the same time.
  rm -rf "${findings:?}/$name"
  if [ "$rc" -ne 0 ] || [ -n "$(ls -A "$dir/artifacts")" ]; then
    status=1
    mkdir -p "$findings/$name"
    cp -r "$dir/artifacts/." "$findings/$name/" 2>/dev/null || true
    cp "$dir/log" "$findings/$name/log"
    [ ! -f "$dir/merge.log" ] || cp "$dir/merge.log" "$findings/$name/merge.log"
    echo "fuzz_$name: FINDING after $execs executions (exit $rc); inputs and log in $findings/$name"
    grep -E 'ERROR|SUMMARY|fuzz platform|fuzz_' "$dir/log" | head -20 || true
    continue
  fi
  corpus="$(find "$dir/corpus" -type f | wc -l)"
  line="fuzz_$name: $execs executions in $(cat "$dir/seconds") s, cov ${cov:-0}, ft ${ft:-0}, corpus $corpus"
  if [ "$merge" -eq 1 ]; then
    merged="$(find "$dir/merged" -type f | wc -l)"
    rm -rf "${root:?}/fuzz/corpus/$name"
    mkdir -p "$root/fuzz/corpus/$name"
    cp "$dir/merged/." -r "$root/fuzz/corpus/$name/"
    line+=", merged into fuzz/corpus/$name: $merged files"
  fi
  echo "$line, no finding"
  [ -z "$report" ] || echo "$line, revision $revision" >>"$report"
done
echo "fuzzing: ${#names[@]} targets, $total executions, $([ $status -eq 0 ] && echo "no findings" || echo "FINDINGS")"
exit "$status"
