#!/usr/bin/env bash
# Instructions per received byte on the receive path, counted by callgrind: repeatable for the
# same build, whatever else the machine is doing. Counts only inside the line's delivery of
# the standard traffic mix (parser, acknowledgement, dispatch, decoders, signals): one line with
# the debug output off, one with it on (into a handler that discards). The last lines are
# "figure NAME VALUE", instructions a frame.
#   bash scripts/callgrind.sh [FRAMES]     (default 20000; needs valgrind and a build in build/)
set -euo pipefail
cd "$(dirname "$0")/.."
frames="${1:-20000}"
command -v valgrind >/dev/null || { echo "valgrind is missing: apt-get install -y valgrind" >&2; exit 1; }
[ -x build/bin/bench_receive ] || { echo "build first: bash scripts/build.sh" >&2; exit 1; }

figures=()
out=$(mktemp)
trap 'rm -f "$out"' EXIT
for mode in "" --debug; do
    counts=$(valgrind --tool=callgrind --callgrind-out-file="$out" \
        --toggle-collect='canservice::VirtualSerialLine::deliver*' \
        build/bin/bench_receive --frames "$frames" $mode 2>/dev/null)
    instructions=$(grep -E '^(summary|totals):' "$out" | head -1 | awk '{print $2}')
    read -r _ accepted _ bytes <<< "$counts"
    awk -v ir="$instructions" -v b="$bytes" -v f="$accepted" -v m="${mode:+, debug on}" 'BEGIN {
        printf "%d frames, %d bytes, %d instructions%s: %.1f per byte, %.0f per frame\n", f, b, ir, m, ir / b, ir / f }'
    figures+=("$(awk -v ir="$instructions" -v f="$accepted" -v n="${mode:+_debug}" 'BEGIN {
        printf "figure plugin_instructions_per_frame%s %.0f", n, ir / f }')")
done
printf '%s\n' "${figures[@]}"
