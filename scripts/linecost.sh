#!/usr/bin/env bash
# CPU per frame of a head unit on a real line: a box writes the traffic mix at the full line rate
# (3840 bytes a second) into pseudo-terminals, and each program's CPU time (every thread's, in
# nanoseconds, from /proc/<pid>/task/*/schedstat) is divided by the frames it was sent.
# Two comparisons: `canservice monitor --quiet` against build/bin/line_floor, which only polls,
# reads, checks and acknowledges (the system's part of any head unit's cost), and `monitor --json`,
# which prints every change, against `monitor --quiet`. The two programs of a comparison run side
# by side, each on its own pseudo-terminal, fed the same bytes at the same moments: on a virtual
# machine the cost of a wake-up moves by half from one minute to the next, and a program measured
# after another meets another machine. ROUNDS rounds (default 3); the ratios are the medians of
# each round's.
# The plugin's debug lines are off, as in a head unit in the field; --debug leaves them on (Qt's
# default), formatted for every frame and dropped by the monitor.
#   bash scripts/linecost.sh [SECONDS] [--debug] [--rounds N]   (default 20 s each; needs a build in build/)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=20
rounds=3
export QT_LOGGING_RULES="default.debug=false"
while [ $# -gt 0 ]; do
    case "$1" in
        --debug) export QT_LOGGING_RULES="default.debug=true" ;;
        --rounds) rounds="$2"; shift ;;
        *) seconds="$1" ;;
    esac
    shift
done
[ -x build/bin/canservice ] && [ -x build/bin/line_floor ] || { echo "build first: bash scripts/build.sh" >&2; exit 1; }

python3 - "$seconds" "$rounds" <<'PY'
import os, pty, statistics, subprocess, sys, tempfile, time, tty

seconds = float(sys.argv[1])
rounds = int(sys.argv[2])

sys.path.insert(0, "scripts")
from trafficmix import message  # noqa: E402

def side_by_side(commands):
    """Runs the programs at once, each on its own pseudo-terminal, writing the same bytes to all.
    Per program: the frames sent, the acknowledgements read and the CPU per frame (us); and the
    last program's output."""
    lines = []
    for command in commands:
        master, slave = pty.openpty()
        tty.setraw(slave)
        os.set_blocking(master, False)
        # Its output into a file, read when it is done: a pipe left unread would stop it.
        output = tempfile.TemporaryFile(mode="w+")
        head = subprocess.Popen(command + [os.ttyname(slave)], stdout=output, stderr=subprocess.DEVNULL, text=True)
        lines.append({"master": master, "slave": slave, "head": head, "output": output, "acked": 0})

    def cpu(head):
        # Nanoseconds on the CPU of every thread, where /proc/PID/stat counts 10 ms ticks.
        total = 0
        for task in os.listdir(f"/proc/{head.pid}/task"):
            try:
                total += int(open(f"/proc/{head.pid}/task/{task}/schedstat").read().split()[0])
            except (FileNotFoundError, ProcessLookupError):
                pass
        return total / 1e9

    state = {"n": 0, "budget": 0.0}

    def run(duration):
        sent = 0
        start = time.monotonic()
        while time.monotonic() - start < duration:
            state["budget"] += 3840 * 0.01
            out = b""
            while state["budget"] > 0:
                m = message(state["n"]); state["n"] += 1
                out += m; state["budget"] -= len(m); sent += 1
            for line in lines:
                os.write(line["master"], out)
            time.sleep(0.01)
            for line in lines:
                try:
                    line["acked"] += os.read(line["master"], 65536).count(b"\xff")
                except BlockingIOError:
                    pass
        return sent

    time.sleep(1.0)
    run(2.0)  # warm-up: the handshake, first buffers
    for line in lines:
        line["acked"] = 0
    before = [cpu(line["head"]) for line in lines]
    sent = run(seconds)
    used = [cpu(line["head"]) - b for line, b in zip(lines, before)]
    results = []
    for line, u in zip(lines, used):
        line["head"].send_signal(2)
        line["head"].wait(timeout=10)
        line["output"].seek(0)
        os.close(line["master"])
        os.close(line["slave"])
        results.append((sent, line["acked"], u / max(sent, 1) * 1e6))
    return results, lines[-1]["output"].read()

debug = "on" if os.environ["QT_LOGGING_RULES"].endswith("true") else "off"
floor_cmd = ["build/bin/line_floor"]
quiet_cmd = ["build/bin/canservice", "monitor", "--quiet"]
json_cmd = ["build/bin/canservice", "monitor", "--json"]
ratios = {"quiet": [], "json": []}
figures = {"floor": [], "--quiet": [], "--quiet beside --json": [], "--json": []}
for r in range(rounds):
    (f, q), _ = side_by_side([floor_cmd, quiet_cmd])
    (q2, j), out = side_by_side([quiet_cmd, json_cmd])
    print(f"round {r + 1} of {rounds}: {f[0]} and {q2[0]} frames in {seconds:.0f} s "
          f"({f[0] / seconds:.0f} a second); acknowledged {f[1]}, {q[1]} and {q2[1]}, {j[1]}")
    print(f"  floor {f[2]:.1f} us beside monitor --quiet {q[2]:.1f} us a frame: {q[2] / f[2]:.2f}x")
    print(f"  monitor --quiet {q2[2]:.1f} us beside monitor --json {j[2]:.1f} us a frame: {j[2] / q2[2]:.2f}x")
    ratios["quiet"].append(q[2] / f[2])
    ratios["json"].append(j[2] / q2[2])
    for key, value in zip(figures, (f[2], q[2], q2[2], j[2])):
        figures[key].append(value)
print(out.strip().splitlines()[-1] if out.strip() else "")
print(f"debug lines {debug}; medians a frame: "
      + ", ".join(f"{k} {statistics.median(v):.1f} us" for k, v in figures.items()))
print(f"monitor --quiet / floor: {statistics.median(ratios['quiet']):.2f}x (target 1.5x); "
      f"monitor --json / --quiet: {statistics.median(ratios['json']):.2f}x (target 1.5x)")
PY
