#!/usr/bin/env bash
# Builds the fuzzers (fuzz/: clang's libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer, build tree build/fuzz) and runs each for
# SECONDS, as many at once as the machine has cores. Fails on any finding:
# a crash, overrun, leak, hang (an input taking over 10 s), running out of
# memory or a sanitizer report. The simulation roots live on tmpfs
# (/dev/shm) when there is one.
#
# Usage: scripts/fuzz.sh [--seeds] SECONDS [FUZZER ...]
#   FUZZER: summary, nodal, mdrt, stream, errlog, serve (default: all six)
#        scripts/fuzz.sh --available     (exit 0 when clang can build a fuzzer)
#   --seeds  first rewrites the committed seeds (fuzz/corpus/<fuzzer>/seed-*)
#            from a fresh resident dump.
# Each fuzzer runs on build/fuzz/corpus/<fuzzer>, kept between runs, which
# starts from fuzz/corpus/<fuzzer> (seeds and kept reproducers) and keeps
# what the fuzzer finds new;
# a finding is saved to build/fuzz/findings/<fuzzer>/ and its log to
# build/fuzz/logs/<fuzzer>.log. Reproduce one with
#   build/fuzz/fuzz/<fuzzer>_fuzz build/fuzz/findings/<fuzzer>/crash-...
set -euo pipefail
cd "$(dirname "$0")/.."

all=(summary nodal mdrt stream errlog serve)
# Longest input each fuzzer makes: a summary file with its SRC, a nodal
# pair, an MDRT of 32 entries (every region is read, and more of them only
# cost time), a small stream, a few error-log lines, one request's method,
# path and range headers.
declare -A max_len=([summary]=8192 [nodal]=4096 [mdrt]=1024 [stream]=8192 [errlog]=8192 [serve]=4096)

available() {
  command -v clang++ >/dev/null || return 1
  local probe ok=0
  probe=$(mktemp -d)
  echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' >"$probe/p.cpp"
  clang++ -fsanitize=fuzzer,address,undefined "$probe/p.cpp" -o "$probe/p" 2>/dev/null || ok=1
  rm -rf "$probe"
  return $ok
}

if [ "${1:-}" = "--available" ]; then
  available && exit 0
  exit 1
fi
seeds=0
if [ "${1:-}" = "--seeds" ]; then
  seeds=1
  shift
fi
seconds=${1:?usage: scripts/fuzz.sh [--seeds] SECONDS [FUZZER ...]}
shift
fuzzers=("$@")
[ ${#fuzzers[@]} -eq 0 ] && fuzzers=("${all[@]}")

if ! available; then
  echo "scripts/fuzz.sh: clang++ cannot build a libFuzzer target (scripts/deps.sh installs clang and libclang-rt-dev)" >&2
  exit 1
fi

build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DPLATDUMP_FUZZ=ON >/dev/null
cmake --build "$build" -j "$(nproc)"

base=/dev/shm
[ -w "$base" ] || base=${TMPDIR:-/tmp}
export PLATDUMP_FUZZ_DIR
PLATDUMP_FUZZ_DIR=$(mktemp -d "$base/platdump-fuzz-run.XXXXXX")
trap 'rm -rf "$PLATDUMP_FUZZ_DIR"' EXIT

if [ $seeds -eq 1 ]; then
  cmake --build "$build" -j "$(nproc)" --target fuzz_seeds
  rm -f fuzz/corpus/{summary,nodal,mdrt,stream,errlog}/seed-*  # the seeds fuzz_seeds writes
  "$build/fuzz/fuzz_seeds" fuzz/corpus
fi

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1
mkdir -p "$build/logs"
run() {
  local f=$1 rc=0 dict=()
  mkdir -p "$build/corpus/$f" "$build/findings/$f"
  # libFuzzer rewrites the corpus it runs on: it gets a copy of the seeds.
  cp -p fuzz/corpus/$f/* "$build/corpus/$f/"
  [ -f "fuzz/$f.dict" ] && dict=(-dict="fuzz/$f.dict")
  "$build/fuzz/${f}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len="${max_len[$f]}" \
    -print_final_stats=1 -artifact_prefix="$build/findings/$f/" "${dict[@]}" \
    "$build/corpus/$f" >"$build/logs/$f.log" 2>&1 || rc=$?
  echo $rc >"$build/logs/$f.rc"
}

# As many at once as there are cores: each fuzzer is one process.
running=0
for f in "${fuzzers[@]}"; do
  if [ $running -ge "$(nproc)" ]; then
    wait -n
    running=$((running - 1))
  fi
  run "$f" &
  running=$((running + 1))
done
wait
failed=()
for f in "${fuzzers[@]}"; do
  [ "$(cat "$build/logs/$f.rc")" = 0 ] || failed+=("$f")
done

printf '%-14s %12s %8s %8s\n' fuzzer executions exec/s corpus
for f in "${fuzzers[@]}"; do
  log="$build/logs/$f.log"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  printf '%-14s %12s %8s %8s\n' "$f" "${runs:-?}" "${rate:-?}" "$(ls "$build/corpus/$f" | wc -l)"
done
for f in "${failed[@]}"; do
  echo "=== $f found something: $build/logs/$f.log" >&2
  grep -m1 -B2 -A30 -E '^==[0-9]+==ERROR|runtime error|^SUMMARY|deadly signal|ALARM|out-of-memory' \
    "$build/logs/$f.log" >&2 || tail -40 "$build/logs/$f.log" >&2
done
[ ${#failed[@]} -eq 0 ] && echo "no findings: ${fuzzers[*]}, $seconds s each"
[ ${#failed[@]} -eq 0 ]
