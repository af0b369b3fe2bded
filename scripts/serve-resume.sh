#!/usr/bin/env bash
# Shows that a download of a large main-store dump from `platdump serve`
# resumes across a restart of the server: a dump with MIB MiB of main store
# (default 1024) is made on a fresh simulation root, offloaded with
# `platdump offload --main-store` for reference, then downloaded with curl
# as a logged-in user at a limited rate; the server is stopped with SIGTERM
# half-way and started again, and `curl -C -` fetches the rest. The result
# must equal the offload byte for byte. Not part of CI (it writes three
# times MIB MiB and takes about a minute for 1 GiB).
# Usage: scripts/serve-resume.sh [MIB]   (build tree: build/host)
set -euo pipefail
cd "$(dirname "$0")/.."
mib=${1:-1024}
build=build/host
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target platdump_cli serve_bench >/dev/null
tool=$PWD/$build/tools/platdump

export PLATSIM_ROOT
PLATSIM_ROOT=$(mktemp -d "${TMPDIR:-/tmp}/platdump-resume.XXXXXX")
server=
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null || true
  rm -rf "$PLATSIM_ROOT"
}
trap cleanup EXIT
work=$PLATSIM_ROOT/work
mkdir -p "$work"

echo "== a dump of $mib MiB of main store (and 16 MiB of nodal data) on $PLATSIM_ROOT"
"$build/tools/serve/serve_bench" --dump 1A "$mib"
"$tool" list
start=$(date +%s.%N)
"$tool" offload 1A -o "$work/offloaded" --main-store
echo "   offload: $(echo "$(date +%s.%N) - $start" | bc) s"
echo "operator:$(mkpasswd -m sha-512 secret)" >"$work/users"

serve() {
  "$tool" serve --listen 127.0.0.1:0 --users "$work/users" 2>"$work/serve.log.$1" &
  server=$!
  until grep -q "ready" "$work/serve.log.$1" 2>/dev/null; do sleep 0.05; done
  base=$(grep -o 'http://[0-9.:]*' "$work/serve.log.$1")
  url="$base/redfish/v1/Systems/system/LogServices/Dump/Entries/0000001A/attachment?mainstore=true"
  echo "== server $1 (pid $server) on $base"
}

serve 1
curl -s -u operator:secret --limit-rate 100M -o "$work/downloaded" "$url" &
client=$!
sleep 4
echo "== SIGTERM to the server with $(stat -c %s "$work/downloaded") bytes downloaded"
kill -TERM "$server"
wait "$server" && echo "   the server ended with 0" || echo "   the server ended with $?"
server=
rc=0
wait "$client" || rc=$?
echo "   curl ended with $rc (18: the transfer was cut off, the file is partial)"
part=$(stat -c %s "$work/downloaded")
total=$(stat -c %s "$work/offloaded")
echo "   $part of $total bytes"
if [ "$part" -eq 0 ] || [ "$part" -ge "$total" ]; then
  echo "== the first transfer was not cut half-way (curl's rate limit did not hold); nothing shown" >&2
  exit 1
fi

serve 2
start=$(date +%s.%N)
curl -s -u operator:secret -C - -o "$work/downloaded" -w "   resumed: HTTP %{http_code}, %{size_download} bytes from offset $part\n" "$url"
echo "   in $(echo "$(date +%s.%N) - $start" | bc) s"
kill -TERM "$server"
wait "$server" || true
server=
if cmp "$work/offloaded" "$work/downloaded"; then
  echo "== the resumed download equals platdump offload --main-store: $(stat -c %s "$work/downloaded") bytes"
else
  echo "== the resumed download differs from the offload" >&2
  exit 1
fi
