#!/usr/bin/env bash
# Set-up and build: the host library, the plugin module and the tests, in build/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
mkdir -p build
# Warnings as errors in every build the scripts make, so that the demo's build is the tests' too.
cmake -S . -B build -G Ninja -DCANSERVICE_WERROR=ON "$@" > build/configure.log 2>&1 || { cat build/configure.log >&2; exit 1; }
cmake --build build -j2
echo "Built: build/bin/canservice (the tool), build/lib/canservice/plugins/libsimpleservice.so (the plugin) and build/lib/libcanservice-host.so"
