#!/usr/bin/env bash
# Set-up, build with warnings as errors, and run every test, the slow real-time ones included.
# To leave the slow ones out:  bash scripts/test.sh -LE slow
set -euo pipefail
cd "$(dirname "$0")/.."

# The Wireshark test reads exports with a real tshark.
CANSERVICE_EXTRA_PACKAGES="tshark" bash scripts/build.sh
cd build
ctest --output-on-failure -j2 "$@"
