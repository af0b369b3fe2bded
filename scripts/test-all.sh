#!/usr/bin/env bash
# Runs every test three ways: the host build, the host build with
# AddressSanitizer and UndefinedBehaviorSanitizer, and the 32-bit big-endian
# PowerPC build under qemu-ppc-static; then runs each fuzzer for 20 s
# (scripts/fuzz.sh), where clang can build them. Build trees go to
# build/<config>.
# Usage: scripts/test-all.sh [host|asan|ppc|fuzz ...]   (default: all four)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

jobs=$(nproc)
configs=("$@")
[ ${#configs[@]} -eq 0 ] && configs=(host asan ppc fuzz)

for config in "${configs[@]}"; do
  if [ "$config" = fuzz ]; then
    echo "=== fuzz ==="
    if scripts/fuzz.sh --available; then
      scripts/fuzz.sh 20
    else
      echo "skipped: clang cannot build a libFuzzer target here"
    fi
    continue
  fi
  # The host build is the one the benchmarks and the installed package use
  # (-O2 -g). The sanitizer and target builds exist to run the tests, which
  # take seconds, while their compilation takes most of a CI run: -O1 with
  # line tables compiles them in a little over half the time and still lets
  # the sanitizers and gdb name every frame.
  quick=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG")
  case "$config" in
    host) args=() ;;
    asan) args=(-DPLATDUMP_SANITIZE=ON -DPLATDUMP_BENCH=OFF "${quick[@]}") ;;
    ppc)  args=(-DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-powerpc-linux-gnu.cmake" "${quick[@]}") ;;
    *) echo "unknown configuration: $config" >&2; exit 2 ;;
  esac
  echo "=== $config ==="
  cmake -S . -B "build/$config" -G Ninja "${args[@]}" >/dev/null
  cmake --build "build/$config" -j "$jobs"
  ASAN_OPTIONS=detect_leaks=1 ctest --test-dir "build/$config" --output-on-failure -j "$jobs"
done
echo "all tests passed: ${configs[*]}"
