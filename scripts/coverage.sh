#!/usr/bin/env bash
# Line and branch coverage of the library (dump/) by the whole test suite,
# the fault sweep included: a --coverage build of its own in
# build/coverage (gcc, -O0, no benchmarks), CTest, then gcovr. Prints the
# lines and branches covered per room and for dump/ as a whole, throw
# branches and branches the compiler made unreachable left out; writes the
# per-file reports with the missed lines and branches to
# build/coverage/coverage.txt and branches.txt, and an HTML report with the
# sources to build/coverage/html/.
# Usage: scripts/coverage.sh [--stride N]   (the sweep's stride, default 1)
set -euo pipefail
cd "$(dirname "$0")/.."

stride=1
while [ $# -gt 0 ]; do
  case "$1" in
    --stride) stride="$2"; shift 2 ;;
    *) echo "usage: $0 [--stride N]" >&2; exit 2 ;;
  esac
done

scripts/deps.sh
build=build/coverage
jobs=$(nproc)
rooms=(summary repository extract nodal support)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
  "-DCMAKE_C_FLAGS=--coverage -O0" "-DCMAKE_CXX_FLAGS=--coverage -O0" \
  -DPLATDUMP_BENCH=OFF -DPLATDUMP_SANITIZE=OFF -DPLATDUMP_COVERAGE=ON \
  -DPLATDUMP_FAULT_SWEEP_STRIDE="$stride" >/dev/null
cmake --build "$build" -j "$jobs"

# Counters from an earlier run would add to this one's.
find "$build" -name '*.gcda' -delete
# A failing test still leaves its coverage; the script says so and fails
# at the end.
failed=0
ctest --test-dir "$build" --output-on-failure -j "$jobs" || failed=1

gcovr -r . --filter 'dump/' --exclude '.*/tests/.*' \
  --exclude-throw-branches --exclude-unreachable-branches -j "$jobs" \
  --json "$build/coverage.json" "$build/dump"
gcovr -a "$build/coverage.json" --json-summary "$build/summary.json" --txt "$build/coverage.txt"
gcovr -a "$build/coverage.json" --branches --txt "$build/branches.txt"
mkdir -p "$build/html"
gcovr -a "$build/coverage.json" --html-details "$build/html/index.html"

python3 - "$build/summary.json" "${rooms[@]}" <<'EOF'
import json, sys
files = json.load(open(sys.argv[1]))["files"]
def row(label, prefix):
    picked = [f for f in files if f["filename"].startswith(prefix)]
    lc = sum(f["line_covered"] for f in picked); lt = sum(f["line_total"] for f in picked)
    bc = sum(f["branch_covered"] for f in picked); bt = sum(f["branch_total"] for f in picked)
    pct = lambda c, t: 100.0 * c / t if t else 100.0
    print(f"{label:<16} {pct(lc, lt):6.1f} % {lc:5}/{lt:<5}  {pct(bc, bt):6.1f} % {bc:5}/{bt:<5}")
print(f"{'':<16} {'lines':>16}  {'branches':>17}")
for room in sys.argv[2:]:
    row("dump/" + room, "dump/" + room + "/")
row("dump/", "dump/")
EOF
echo "per file, missed lines: $build/coverage.txt, missed branches: $build/branches.txt; HTML: $build/html/index.html"
if [ "$failed" -ne 0 ]; then
  echo "some tests failed (above): the figures are those of the run as it went" >&2
  exit 1
fi
