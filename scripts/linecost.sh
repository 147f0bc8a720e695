#!/usr/bin/env bash
# CPU per frame of a head unit on a real line: a box writes the traffic mix at the full line rate
# (3840 bytes a second) into a pseudo-terminal, and the program's CPU time (every thread's, in
# nanoseconds, from /proc/<pid>/task/*/schedstat) is divided by the frames it was sent. Three
# rows: build/bin/line_floor, which only polls, reads, checks and acknowledges (the system's part
# of any head unit's cost), `canservice monitor --quiet`, and `monitor --json`, which prints every
# change. Measured as scripts/benchmethod.py says: one program at a time in alternating rounds,
# after a calibration of the floor against itself; min / median / max of each, and the ratios
# (monitor --quiet over the floor, --json over --quiet) as the medians of each round's.
# The plugin's debug lines are off, as in a head unit in the field; --debug leaves them on.
#   bash scripts/linecost.sh [SECONDS] [--rounds N] [--load N] [--debug]
#   (default 10 s a run, 9 rounds; needs a build in build/)
# The last lines are "figure NAME VALUE": microseconds a frame, and the two ratios.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=10
rounds=9
load=0
export QT_LOGGING_RULES="default.debug=false"
while [ $# -gt 0 ]; do
    case "$1" in
        --debug) export QT_LOGGING_RULES="default.debug=true" ;;
        --rounds) rounds="$2"; shift ;;
        --load) load="$2"; shift ;;
        *) seconds="$1" ;;
    esac
    shift
done
[ -x build/bin/canservice ] && [ -x build/bin/line_floor ] || { echo "build first: bash scripts/build.sh" >&2; exit 1; }
[ "$rounds" -ge 9 ] || { echo "at least 9 rounds" >&2; exit 2; }

python3 - "$seconds" "$rounds" "$load" <<'PY'
import os, pty, subprocess, sys, time, tty

sys.path.insert(0, "scripts")
from benchmethod import Load, alternate, calibrate, figure, spread  # noqa: E402
from trafficmix import LineFeed  # noqa: E402

seconds, rounds, load = float(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
programs = {"floor": ["build/bin/line_floor"],
            "monitor --quiet": ["build/bin/canservice", "monitor", "--quiet"],
            "monitor --json": ["build/bin/canservice", "monitor", "--json"]}
unacknowledged = []

def cpu(pid):
    # Nanoseconds on the CPU of every thread, where /proc/PID/stat counts 10 ms ticks.
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            total += int(open(f"/proc/{pid}/task/{task}/schedstat").read().split()[0])
        except (FileNotFoundError, ProcessLookupError):
            pass
    return total / 1e9

def per_frame(row):
    """One program alone on a line at the full rate: its CPU microseconds a frame."""
    master, slave = pty.openpty()
    tty.setraw(slave)
    os.set_blocking(master, False)
    head = subprocess.Popen(programs[row] + [os.ttyname(slave)], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    line = LineFeed(master)

    time.sleep(1.0)
    line.feed(2.0)  # warm-up: the handshake, first buffers
    line.acked = 0
    before = cpu(head.pid)
    sent = line.feed(seconds)
    used = cpu(head.pid) - before
    head.send_signal(2)
    head.wait(timeout=10)
    os.close(master)
    os.close(slave)
    if line.acked < sent * 0.99:
        unacknowledged.append(f"{row}: {line.acked} of {sent}")
    return used / max(sent, 1) * 1e6

debug = "on" if os.environ["QT_LOGGING_RULES"].endswith("true") else "off"
with Load(load):
    print(f"{seconds:.0f} s a run at the line's full rate, {rounds} rounds, {load} busy loops beside, "
          f"debug lines {debug}", flush=True)
    calibrate("the floor", lambda: per_frame("floor"), rounds)
    rows = list(programs)
    results = alternate(rows, rounds, per_frame, progress=lambda r, n: print(f"  round {r} of {n} done", flush=True))

if unacknowledged:
    print("Not every frame was acknowledged: " + "; ".join(unacknowledged))
print(f"{'':<18} {'min':>8} {'median':>8} {'max':>8}   us a frame")
for row in rows:
    lo, median, hi = spread(results[row])
    print(f"{row:<18} {lo:8.1f} {median:8.1f} {hi:8.1f}")
quiet = [q / f for q, f in zip(results["monitor --quiet"], results["floor"])]
json = [j / q for j, q in zip(results["monitor --json"], results["monitor --quiet"])]
for label, ratios in (("monitor --quiet over the floor", quiet), ("monitor --json over --quiet", json)):
    lo, median, hi = spread(ratios)
    print(f"{label}: {median:.2f}x (min {lo:.2f}, max {hi:.2f}; target 1.3x)")
figure("floor_us", spread(results["floor"])[1], 1)
figure("monitor_quiet_us", spread(results["monitor --quiet"])[1], 1)
figure("monitor_json_us", spread(results["monitor --json"])[1], 1)
figure("monitor_quiet_x_floor", spread(quiet)[1])
figure("monitor_json_x_quiet", spread(json)[1])
sys.exit(1 if unacknowledged else 0)
PY
