#!/usr/bin/env bash
# Counts the system calls that one ExtractDump call makes for a 64 KiB
# request inside a nodal data file (a file-block request), as strace -c -f
# sees them. The bench program sets up a small dump on a fresh simulation
# root and makes N calls; the setup is the same for every N, so the
# difference between N=11 and N=1, divided by 10, is the cost of one call.
# Usage: bench/count_extract_syscalls.sh [path/to/extract_bench]
#
# The work the call is asked for, and the system calls it takes on the
# simulation (nothing is kept from one call to the next):
#   extraction semaphore: init (open, getpid), Down (getpid,
#     flock), Up, close                                             6
#   the summary lock: init (open, getpid), close                    3
#   the summary's open: does it exist, open "r+", the backup asked
#     to create its copy when missing (the library's handler, run
#     in this process by the simulation: exists, and exists for the
#     status), one read of header and summary, one of the file
#     names, close                                                  7
#   the registry: iplp/SysOpMode and smgr/StateData, each open,
#     read, close                                                   6
#   the list: summary lock (getpid, flock), re-read of the three
#     regions, the MDRT opened, read, closed, unlock                9
#   the file block: open, positioning (kept in the file object),
#     read, close                                                   3
#   the destructor: does the summary exist; its flush: lock (getpid,
#     flock), re-read of the three regions, each of the two named
#     nodal files opened and measured (open, fstat, close), unlock,
#     nothing written                                              13
#   total                                                          47
#
# Before (9fc0353), one run: 124 per call: newfstatat 59 (the fault and role
# files), read 15, openat 10, lseek 9, close 9, mkdir 8, getpid 8, flock 6.
# Now: 47, the list above: pread64 10, openat 9, close 9, newfstatat 6,
# flock 6, getpid 5, read 2 (43 while the kind was found by looking for a
# system or hardware-unit summary; it now comes from the identifier alone;
# the permission check uses the flags the open has just read instead of
# reading the summary region once more). The getpid in each semaphore init
# and Down tells a semaphore object a forked child inherited from its
# parent's.
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
