#!/usr/bin/env bash
# The main job on the host simulation: installs what is missing, builds, and
# runs the demonstration on a fresh simulation root.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build/host -G Ninja >/dev/null
cmake --build build/host -j "$(nproc)"
export PLATSIM_ROOT="${PLATSIM_ROOT:-$(mktemp -d /tmp/platsim-demo-XXXXXX)}"
exec build/host/examples/errlog_demo
