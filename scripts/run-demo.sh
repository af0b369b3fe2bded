#!/usr/bin/env bash
# The main job on the host simulation: installs what is missing, builds the
# tool and what it links (no tests, no benchmarks), and runs `platdump
# demo`, the life of one system dump from creation to a verified offload
# and deletion. With PLATSIM_ROOT unset the demo runs on a fresh temporary
# simulation root, which it names at the start and the end.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build/host -G Ninja >/dev/null
cmake --build build/host -j "$(nproc)" --target platdump_cli
exec build/host/tools/platdump demo
