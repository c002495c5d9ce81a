#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with, when any is
# missing. Run as root (or with sudo available).
#   scripts/install-deps.sh          everything: building, tests, benchmarks, fuzzing
#   scripts/install-deps.sh --demo   only what building the command needs
set -euo pipefail

# What the command itself is built from.
packages=(
  g++ make cmake
  nlohmann-json3-dev libsimdjson-dev libcli11-dev
  libpng-dev libjpeg62-turbo-dev
  libcpp-httplib-dev pkg-config
  libmimalloc-dev
)
demo_only=0
if [ "${1:-}" = "--demo" ]; then demo_only=1; fi
if [ $demo_only -eq 0 ]; then
  packages+=(
    libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev
    chromium fonts-liberation
    python3 python3-jsonschema
  )
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
# Node.js and npm run the viewer's tests; a machine that has them from
# elsewhere keeps its own.
if [ $demo_only -eq 0 ]; then
  if ! command -v node >/dev/null 2>&1; then missing+=(nodejs); fi
  if ! command -v npm >/dev/null 2>&1; then missing+=(npm); fi
fi
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    as_root=(sudo)
  else
    echo "install-deps: these packages are missing and this is not root: ${missing[*]}" >&2
    exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update
"${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
