#!/usr/bin/env bash
# Installs the Debian packages the project needs that this machine lacks.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  googletest libbenchmark-dev nlohmann-json3-dev libcli11-dev
  g++-powerpc-linux-gnu qemu-user-static
  clang libclang-rt-dev
  strace cloc gcovr
  libmicrohttpd-dev libcrypt-dev       # platdump serve
  curl redfishtool openssl whois       # its tests' clients; whois brings mkpasswd
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq || true
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
