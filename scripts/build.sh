#!/usr/bin/env bash
# Set-up and build: the host library, the plugin module and the tests, in build/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
mkdir -p build
cmake -S . -B build -G Ninja "$@" > build/configure.log 2>&1 || { cat build/configure.log >&2; exit 1; }
cmake --build build -j2
echo "Built: build/plugins/libsimpleservice.so (the plugin) and build/lib/libcanservice-host.so"
