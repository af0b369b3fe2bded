#!/usr/bin/env bash
# Counts the system calls that one ExtractDump call makes for a 64 KiB
# request inside a nodal data file (a file-block request), as strace -c -f
# sees them. The bench program sets up a small dump on a fresh simulation
# root and makes N calls; the setup is the same for every N, so the
# difference between N=11 and N=1, divided by 10, is the cost of one call.
# Usage: bench/count_extract_syscalls.sh [path/to/extract_bench]
#
# Before (9fc0353), one run: 124 per call: newfstatat 59 (the fault and role
# files), read 15, openat 10, lseek 9, close 9, mkdir 8, getpid 8, flock 6.
set -euo pipefail
cd "$(dirname "$0")/.."
bench=${1:-build/host/bench/extract_bench}
command -v strace >/dev/null || { echo "strace is not installed" >&2; exit 2; }
[ -x "$bench" ] || { echo "no $bench: build the host configuration first" >&2; exit 2; }

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for n in 1 11; do
  strace -f -c -o "$out/$n.txt" "$bench" --syscalls "$n" >/dev/null
done

# strace -c rows: the call count is the fourth column, the name the last.
counts() { awk '$NF ~ /^[a-z_0-9]+$/ && $4 ~ /^[0-9]+$/ && $NF != "total" { print $NF, $4 }' "$1" | sort; }
join -a1 -a2 -e 0 -o 0,1.2,2.2 <(counts "$out/1.txt") <(counts "$out/11.txt") |
  awk '{ d = ($3 - $2) / 10; if (d != 0) { printf "%-16s %6.1f\n", $1, d; total += d } }
       END { printf "%-16s %6.1f\n", "total per call", total }' | sort -k2 -n -r
