#!/usr/bin/env bash
# Runs the whole fault sweep: the lifecycle once for every call of every
# fault name, once with that call failing and once with every call from it
# on failing, and prints the outcomes by class. The suite (ctest) runs a
# sample of the same with a stride.
# Usage: scripts/fault-sweep.sh [host|asan] [fault_sweep options...]   (default: host)
set -euo pipefail
cd "$(dirname "$0")/.."
config=host
case "${1:-}" in host|asan) config=$1; shift ;; esac
case "$config" in
  host) args=() ;;
  asan) args=(-DPLATDUMP_SANITIZE=ON -DPLATDUMP_BENCH=OFF) ;;
esac
scripts/deps.sh
cmake -S . -B "build/$config" -G Ninja "${args[@]}" >/dev/null
cmake --build "build/$config" -j "$(nproc)" --target fault_sweep
ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} exec "build/$config/tests/faultsweep/fault_sweep" --stride 1 "$@"
