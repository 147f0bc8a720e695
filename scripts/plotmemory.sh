#!/usr/bin/env bash
# Memory and CPU of `canservice plot` on long captures of the benchmark's traffic mix: the same
# three signals drawn from 1,000,000 frames and from FRAMES (10,000,000 by default). Each plot runs
# alone; its peak resident memory (ru_maxrss) and its CPU (user + system) are the kernel's
# accounts of the finished child. The peak must stay under 100 MiB, or the script exits 1; it
# should not grow with the capture's length. CPU a frame is the long run's less the short one's,
# over the frames between (one run each: for a figure to compare, scripts/capturecost.sh).
#   bash scripts/plotmemory.sh [FRAMES]     (needs a build in build/; FRAMES x 35 bytes of /tmp)
# The last lines are one "figure NAME VALUE" line per figure.
set -euo pipefail
cd "$(dirname "$0")/.."
frames="${1:-10000000}"
[ -x build/bin/canservice ] && [ -x build/bin/bench_receive ] || { echo "build first: bash scripts/build.sh" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "Making captures of 1000000 and $frames frames of the traffic mix ..."
build/bin/bench_receive --capture 1000000 > "$work/short.cap"
build/bin/bench_receive --capture "$frames" > "$work/long.cap"

python3 - "$work" "$frames" <<'PY'
import resource, subprocess, sys

sys.path.insert(0, "scripts")
from benchmethod import figure  # noqa: E402

work, frames = sys.argv[1], int(sys.argv[2])
signals = "Vehicle.Speed,Vehicle.Powertrain.CombustionEngine.Speed,Vehicle.Cabin.Door.Row1.DriverSide.IsOpen"

def plot(capture):
    """Draws the capture in a child of its own: its peak RSS in MiB and its CPU seconds."""
    child = subprocess.Popen(["build/bin/canservice", "plot", f"{work}/{capture}.cap", "--signals", signals,
                              "--png", f"{work}/{capture}.png"], stdout=subprocess.DEVNULL)
    _, status, usage = __import__("os").wait4(child.pid, 0)
    if status != 0:
        raise SystemExit(f"plot of {capture}.cap failed ({status})")
    return usage.ru_maxrss / 1024, usage.ru_utime + usage.ru_stime

short_rss, short_cpu = plot("short")
long_rss, long_cpu = plot("long")
us = (long_cpu - short_cpu) / (frames - 1000000) * 1e6
print(f"1000000 frames: peak {short_rss:.1f} MiB, {short_cpu:.2f} s CPU")
print(f"{frames} frames: peak {long_rss:.1f} MiB, {long_cpu:.2f} s CPU; {us:.2f} us a frame beyond the first million")
figure("plot_peak_rss_mib", long_rss, 1)
figure("plot_rss_growth_mib", long_rss - short_rss, 1)
figure("plot_us", us)
if long_rss >= 100:
    raise SystemExit(f"plot of {frames} frames peaked at {long_rss:.1f} MiB: over 100 MiB")
PY
