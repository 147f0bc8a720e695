#!/usr/bin/env bash
# CPU per frame of a head unit on a real line: a box writes the traffic mix at the full line rate
# (3840 bytes a second) into a pseudo-terminal, `canservice monitor --quiet` runs the plugin on it,
# and its CPU time (every thread's, in nanoseconds, from /proc/<pid>/task/*/schedstat) is divided by
# the frames it accepted. Then the same with `monitor --json`, which prints every change, against
# --quiet; and --quiet against the floor.
# The plugin's debug lines are off, as in a head unit in the field; --debug leaves them on (Qt's
# default), formatted for every frame and dropped by the monitor. First the same is measured for
# build/bin/line_floor, which only polls, reads, checks and acknowledges: the system's part, which
# on a virtual machine can change from one day to the next, and from one minute to the next: the
# three run in turn, ROUNDS times (default 3), and the ratios are those of the medians.
#   bash scripts/linecost.sh [SECONDS] [--debug] [--rounds N]   (default 10 s each; needs a build in build/)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=10
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

def frame(ident, data):
    body = bytes([ident, len(data)]) + bytes(data)
    return b"\x2e" + body + bytes([(~sum(body)) & 0xFF])

# The benchmark's mix: speed and rotation most, then climate, radar, doors, keys, trip.
def message(n):
    k = n % 20
    if k < 6: return frame(0xF6, [(n * 16) & 0xFF, (n >> 4) & 0x3F, 0])
    if k < 12: return frame(0x41, [3, (800 + n % 3000) >> 8, (800 + n % 3000) & 0xFF])
    if k < 14: return frame(0x29, [0x48, 0x23, 40 + n % 8, 0, 8, 0, 41, n % 9])
    if k < 16: return frame(0x22, [2, 8, n % 32, (n // 3) % 32])
    if k == 16: return frame(0x23, [1, 2, n % 32, 0, 0, 0])
    if k == 17: return frame(0x24, [0x44 if n % 2 else 0, 0, 0, 0, 0])
    if k == 18: return frame(0x20, [5, n % 2])
    return frame(0x50, [0x30, 0, n % 256, 0, 0, 0])

def measure(command, label):
    master, slave = pty.openpty()
    tty.setraw(slave)
    name = os.ttyname(slave)
    os.set_blocking(master, False)
    # Its output into a file, read when it is done: a pipe left unread would stop it.
    output = tempfile.TemporaryFile(mode="w+")
    head = subprocess.Popen(command + [name], stdout=output, stderr=subprocess.DEVNULL, text=True)

    def cpu():
        # Nanoseconds on the CPU of every thread, where /proc/PID/stat counts 10 ms ticks.
        total = 0
        for task in os.listdir(f"/proc/{head.pid}/task"):
            try:
                total += int(open(f"/proc/{head.pid}/task/{task}/schedstat").read().split()[0])
            except (FileNotFoundError, ProcessLookupError):
                pass
        return total / 1e9

    def run(duration):
        sent = acked = 0
        budget, n, start = 0.0, 0, time.monotonic()
        while time.monotonic() - start < duration:
            budget += 3840 * 0.01
            out = b""
            while budget > 0:
                m = message(n); n += 1
                out += m; budget -= len(m); sent += 1
            os.write(master, out)
            time.sleep(0.01)
            try:
                acked += os.read(master, 65536).count(b"\xff")
            except BlockingIOError:
                pass
        return sent, acked

    time.sleep(1.0)
    run(2.0)  # warm-up: the handshake, first buffers
    before = cpu()
    sent, acked = run(seconds)
    used = cpu() - before
    head.send_signal(2)
    head.wait(timeout=10)
    output.seek(0)
    out = output.read()
    os.close(master)
    os.close(slave)
    per_frame = used / max(sent, 1) * 1e6
    print(f"{label}: {sent} frames in {seconds:.0f} s ({sent / seconds:.0f} a second), {acked} "
          f"acknowledged; CPU {used:.3f} s: {per_frame:.1f} us per frame")
    return out, per_frame

debug = "on" if os.environ["QT_LOGGING_RULES"].endswith("true") else "off"
runs = {"floor": [], "quiet": [], "json": []}
for r in range(rounds):
    print(f"round {r + 1} of {rounds}")
    runs["floor"].append(measure(["build/bin/line_floor"], "  floor (poll, read, acknowledge)")[1])
    out, quiet = measure(["build/bin/canservice", "monitor", "--quiet"], f"  monitor --quiet, debug {debug}")
    runs["quiet"].append(quiet)
    runs["json"].append(measure(["build/bin/canservice", "monitor", "--json"], f"  monitor --json, debug {debug}")[1])
print(out.strip().splitlines()[-1] if out.strip() else "")
floor, quiet, printing = (statistics.median(runs[k]) for k in ("floor", "quiet", "json"))
print(f"medians: floor {floor:.1f} us, monitor --quiet {quiet:.1f} us, monitor --json {printing:.1f} us per frame")
print(f"monitor --quiet / floor: {quiet / floor:.2f}x (target 1.5x); "
      f"monitor --json / --quiet: {printing / quiet:.2f}x (target 1.5x)")
PY
