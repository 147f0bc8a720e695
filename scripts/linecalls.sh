#!/usr/bin/env bash
# Instructions per frame of a head unit on a real line, counted by callgrind: a box writes the
# traffic mix at the full line rate (3840 bytes a second, scripts/trafficmix.py, as
# scripts/linecost.sh does) into a fresh pseudo-terminal for SECONDS, while the program runs under
# valgrind --tool=callgrind. Four rows: build/bin/line_floor, which only polls, reads, checks and
# acknowledges, `canservice monitor PTY --quiet`, `monitor PTY --json` (its output thrown away),
# and `serve --bus session` with twenty `gdbus monitor` clients on a bus of the run's own.
# Start-up is left out by instrumentation: callgrind starts with it off, and callgrind_control
# turns it on once the program has answered the handshake and a warm-up of 2 s, and dumps the
# counts once every frame sent has been acknowledged; that dump's totals are the measured stretch
# alone (turning instrumentation off instead would throw the counts away). (A
# run without traffic to subtract would differ from the real one in more than the traffic: the
# handshake, the probes and timers of an idle box, so the difference would not be the frames'.)
# Instruction counts do not depend on the machine's load: one run a row is enough.
#   bash scripts/linecalls.sh [SECONDS] [--keep DIR]
#   (default 10 s; needs valgrind and a build in build/; --keep leaves the callgrind files in DIR
#   as floor.out, monitor.out, json.out and serve.out, for callgrind_annotate)
# The last lines are "figure NAME VALUE": instructions a frame of each, and their ratio.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=10
keep=""
export QT_LOGGING_RULES="default.debug=false"
while [ $# -gt 0 ]; do
    case "$1" in
        --keep) keep="$2"; shift ;;
        *) seconds="$1" ;;
    esac
    shift
done
command -v valgrind >/dev/null && command -v callgrind_control >/dev/null \
    || { echo "valgrind is missing: apt-get install -y valgrind" >&2; exit 1; }
[ -x build/bin/canservice ] && [ -x build/bin/line_floor ] || { echo "build first: bash scripts/build.sh" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ -n "$keep" ]; then mkdir -p "$keep"; work_keep=$(cd "$keep" && pwd); else work_keep=""; fi

dbus-run-session -- python3 - "$seconds" "$work" "$work_keep" <<'PY'
import os, pty, shutil, subprocess, sys, time, tty

sys.path.insert(0, "scripts")
from trafficmix import LineFeed  # noqa: E402

seconds, work, keep = float(sys.argv[1]), sys.argv[2], sys.argv[3]
programs = {"floor": ["build/bin/line_floor"],
            "monitor": ["build/bin/canservice", "monitor", "--quiet"],
            "json": ["build/bin/canservice", "monitor", "--json"],
            "serve": ["build/bin/canservice", "serve", "--bus", "session"]}
dest = ["--dest", "org.canservice.Vehicle1", "--object-path", "/org/canservice/Vehicle1"]


def control(pid, *args):
    subprocess.run(["callgrind_control", *args, str(pid)], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def totals(path):
    for line in open(path):
        if line.startswith(("summary:", "totals:")):
            return int(line.split()[1])
    raise SystemExit(f"no totals in {path}")


def per_frame(row):
    """The program alone on a line at the full rate: instructions, frames sent, frames acknowledged."""
    master, slave = pty.openpty()
    tty.setraw(slave)
    os.set_blocking(master, False)
    out = os.path.join(work, f"{row}.out")
    head = subprocess.Popen(["valgrind", "--tool=callgrind", "--instr-atstart=no",
                             f"--callgrind-out-file={out}"] + programs[row] + [os.ttyname(slave)],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    line = LineFeed(master)

    # Start-up under valgrind takes seconds: the line is fed until the program answers.
    deadline = time.monotonic() + 60
    while line.acked == 0:
        if time.monotonic() > deadline or head.poll() is not None:
            raise SystemExit(f"{row}: no answer on the line")
        line.feed(0.5)
    watchers = []
    if row == "serve":
        # Twenty clients that take every change, as in dbusload.sh, on the run's own bus.
        while subprocess.run(["gdbus", "introspect", "--session"] + dest, capture_output=True).returncode:
            if time.monotonic() > deadline or head.poll() is not None:
                raise SystemExit("serve: not on the bus")
            line.feed(0.5)
        watchers = [subprocess.Popen(["gdbus", "monitor", "--session"] + dest, stdout=subprocess.DEVNULL)
                    for _ in range(20)]
    line.feed(2.0)  # warm-up: the first buffers
    time.sleep(0.5)
    line.drain()
    control(head.pid, "--instr=on")
    line.acked = 0
    sent = line.feed(seconds)
    # Every frame answered, then the count stops: the totals hold the stretch and nothing else.
    deadline = time.monotonic() + 10
    while line.acked < sent and time.monotonic() < deadline:
        time.sleep(0.05)
        line.drain()
    control(head.pid, "--dump")
    head.send_signal(2)
    head.wait(timeout=60)
    for watcher in watchers:
        watcher.terminate()
        watcher.wait()
    os.close(master)
    os.close(slave)
    if keep:
        shutil.copy(out + ".1", os.path.join(keep, f"{row}.out"))
    return totals(out + ".1"), sent, line.acked


results = {}
for row in programs:
    instructions, sent, acked = per_frame(row)
    results[row] = instructions / sent
    print(f"{row:<8} {sent} frames sent, {acked} acknowledged, {instructions} instructions: "
          f"{results[row]:.0f} a frame", flush=True)
    if acked < sent:
        raise SystemExit(f"{row}: only {acked} of {sent} frames were acknowledged")
print(f"figure floor_instructions_per_frame {results['floor']:.0f}")
print(f"figure monitor_quiet_instructions_per_frame {results['monitor']:.0f}")
print(f"figure monitor_quiet_x_floor {results['monitor'] / results['floor']:.2f}")
print(f"figure monitor_json_instructions_per_frame {results['json']:.0f}")
print(f"figure monitor_json_x_quiet {results['json'] / results['monitor']:.2f}")
print(f"figure serve_instructions_per_frame {results['serve']:.0f}")
print(f"figure serve_x_quiet {results['serve'] / results['monitor']:.2f}")
PY
