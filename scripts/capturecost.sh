#!/usr/bin/env bash
# CPU per frame of the tool's work on a capture, beside Wireshark's: a capture of the benchmark's
# traffic mix (300,000 frames by default) is replayed as JSON Lines, as the frame view and as CSV,
# summed up by stats, exported to pcapng, and that export read by tshark with the project's
# dissector. CPU is user
# and system time of each command (getrusage of the finished child). Each program's start-up,
# measured on a capture of 1,000 frames in the same round, is taken off, so that what is left is
# the cost of the frames. Measured as scripts/benchmethod.py says: one program at a time in
# alternating rounds, after a calibration of replay against itself; min / median / max of each.
#   bash scripts/capturecost.sh [FRAMES] [--rounds N] [--load N]
#   (needs a build in build/; tshark for the comparison)
# The last lines are "figure NAME VALUE": microseconds a frame, and tshark's over replay's.
set -euo pipefail
cd "$(dirname "$0")/.."
frames=300000
rounds=9
load=0
while [ $# -gt 0 ]; do
    case "$1" in
        --rounds) rounds="$2"; shift ;;
        --load) load="$2"; shift ;;
        *) frames="$1" ;;
    esac
    shift
done
[ -x build/bin/canservice ] && [ -x build/bin/bench_receive ] || { echo "build first: bash scripts/build.sh" >&2; exit 1; }
[ "$rounds" -ge 9 ] || { echo "at least 9 rounds" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "Making captures of $frames and 1000 frames of the traffic mix ..."
build/bin/bench_receive --capture "$frames" > "$work/mix.cap"
build/bin/bench_receive --capture 1000 > "$work/small.cap"

python3 - "$work" "$frames" "$rounds" "$load" <<'PY'
import os, resource, shutil, subprocess, sys

sys.path.insert(0, "scripts")
from benchmethod import Load, alternate, calibrate, figure, spread  # noqa: E402

work, frames, rounds, load = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
small_frames = 1000
tool = "build/bin/canservice"
env = dict(os.environ, HOME=work)  # no personal Wireshark settings or plugins

def cpu(command):
    """Runs command to its end, its output thrown away; its CPU seconds (user + system)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True, env=env)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)

def commands(capture):
    pcapng = capture.replace(".cap", ".pcapng")
    rows = {"replay --json": [tool, "replay", "--json", capture],
            "replay --frames": [tool, "replay", "--frames", capture],
            "replay --csv": [tool, "replay", capture, "--csv", "--signals",
                             "Vehicle.Speed,Vehicle.Powertrain.CombustionEngine.Speed,Vehicle.Body.Hood.IsOpen"],
            "stats": [tool, "stats", capture],
            "export --pcapng": [tool, "export", capture, "--pcapng", pcapng]}
    if shutil.which("tshark"):
        rows["tshark + dissector"] = ["tshark", "-X", "lua_script:tools/wireshark/canbox.lua", "-r", pcapng,
                                      "-T", "fields", "-e", "canbox.Vehicle.Speed"]
    return rows

big = commands(os.path.join(work, "mix.cap"))
small = commands(os.path.join(work, "small.cap"))
# The exports tshark reads, made once.
for capture in ("mix.cap", "small.cap"):
    subprocess.run([tool, "export", os.path.join(work, capture), "--pcapng",
                    os.path.join(work, capture.replace(".cap", ".pcapng"))], check=True)
if "tshark + dissector" not in big:
    print("tshark is not installed (Debian package tshark): no comparison")

def per_frame(row):
    """Microseconds a frame: the big capture's CPU less the small one's, over the frames between."""
    return (cpu(big[row]) - cpu(small[row])) / (frames - small_frames) * 1e6

with Load(load):
    print(f"{frames} frames, {rounds} rounds, {load} busy loops beside", flush=True)
    calibrate("replay --json", lambda: per_frame("replay --json"), rounds)
    rows = list(big)
    results = alternate(rows, rounds, per_frame,
                        progress=lambda r, n: print(f"  round {r} of {n} done", flush=True))

print(f"{'':<20} {'min':>8} {'median':>8} {'max':>8}   us a frame, start-up taken off")
for row in rows:
    lo, median, hi = spread(results[row])
    print(f"{row:<20} {lo:8.2f} {median:8.2f} {hi:8.2f}")
ratios = {}
if "tshark + dissector" in results:
    targets = {"replay --json": 30, "replay --frames": 15, "replay --csv": 15, "stats": 15, "export --pcapng": 40}
    for row, target in targets.items():
        per_round = [t / r for t, r in zip(results["tshark + dissector"], results[row]) if r > 0]
        lo, median, hi = spread(per_round)
        ratios[row] = median
        print(f"tshark with the dissector over {row}: {median:.1f}x (min {lo:.1f}, max {hi:.1f}; target {target}x)")
names = {"replay --json": "replay_json_us", "replay --frames": "replay_frames_us", "replay --csv": "replay_csv_us",
         "stats": "stats_us", "export --pcapng": "export_us", "tshark + dissector": "tshark_us"}
for row in rows:
    figure(names[row], spread(results[row])[1])
for row, ratio in ratios.items():
    figure(names[row].replace("_us", "_x_tshark"), ratio, 1)
PY
