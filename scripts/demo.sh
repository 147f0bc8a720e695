#!/usr/bin/env bash
# Set-up, build, and the demo: a simulated CAN box on a pseudo-terminal, the plugin loaded as a
# head unit loads it, a 20-second drive, every event and the final vehicle state.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/build.sh
echo
exec build/bin/canservice demo "$@"
