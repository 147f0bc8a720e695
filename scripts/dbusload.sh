#!/usr/bin/env bash
# CPU of `canservice serve` with twenty D-Bus clients at the full line rate, against `canservice
# monitor --quiet` on the same traffic: a box writes the traffic mix of linecost.sh at 3840 bytes a
# second into a pseudo-terminal; serve publishes it on a session bus of its own (dbus-run-session)
# to twenty `gdbus monitor` clients and one more (Debian's python3-dbus) that never reads what it
# is sent. CPU time (user and system, from /proc) per second and per frame; the ValuesChanged
# signals one client got per second; how long a GetValues call takes meanwhile; and what the bus holds for the client that
# never reads.
#   bash scripts/dbusload.sh [SECONDS]     (default 20 s each; needs a build in build/)
# One run of each, not alternating rounds: the figures move by a third from run to run on a
# shared machine. The last lines are "figure NAME VALUE": CPU microseconds a frame of each, and
# serve's over monitor's.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
[ -x build/bin/canservice ] || { echo "build first: bash scripts/build.sh" >&2; exit 1; }
export QT_LOGGING_RULES="default.debug=false"

exec dbus-run-session -- python3 - "$seconds" build/bin/canservice <<'PY'
import os, pty, subprocess, sys, time, tty

seconds, tool = float(sys.argv[1]), sys.argv[2]
dest = ["--dest", "org.canservice.Vehicle1", "--object-path", "/org/canservice/Vehicle1"]

sys.path.insert(0, "scripts")
from trafficmix import LineFeed  # noqa: E402

def cpu(pid):
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def bus_daemon():
    parent = os.getppid()
    for task in os.listdir(f"/proc/{parent}/task"):
        for child in open(f"/proc/{parent}/task/{task}/children").read().split():
            if open(f"/proc/{child}/comm").read().strip() == "dbus-daemon":
                return int(child)

def bus(method, *args):
    return subprocess.run(["gdbus", "call", "--session", "--dest", "org.freedesktop.DBus", "--object-path",
                           "/org/freedesktop/DBus", "--method", method, *args],
                          capture_output=True, text=True).stdout

def bus_names():
    return [n for n in bus("org.freedesktop.DBus.ListNames").replace("'", " ").split() if n.startswith(":")]

# What the bus holds for a connection that has not read it yet.
def queued(name):
    stats = bus("org.freedesktop.DBus.Debug.Stats.GetConnectionStats", name)
    start = stats.find("'OutgoingBytes': <uint32 ")
    return int(stats[start:].split()[2].rstrip(">,")) if start >= 0 else 0

def measure(command, label, clients):
    master, slave = pty.openpty()
    tty.setraw(slave)
    os.set_blocking(master, False)
    head = subprocess.Popen([tool] + command + [os.ttyname(slave)], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    watchers = []
    if clients:
        for _ in range(100):
            if subprocess.run(["gdbus", "introspect", "--session"] + dest, capture_output=True).returncode == 0:
                break
            time.sleep(0.1)
        for i in range(clients):
            watchers.append(subprocess.Popen(["gdbus", "monitor", "--session"] + dest,
                                             stdout=open(f"/tmp/canservice-load-{os.getpid()}-{i}", "w")))
        # The one that never reads: it subscribes, then sleeps; its socket fills, then the bus's
        # queue for it.
        watchers.append(subprocess.Popen(["/usr/bin/python3", "-c", "import dbus, sys, time\n"
                                          "dbus.SessionBus().add_match_string(\"type='signal',sender='org.canservice.Vehicle1'\")\n"
                                          "time.sleep(float(sys.argv[1]))", str(seconds + 30)]))
    time.sleep(1.0)
    line = LineFeed(master)
    line.feed(2.0)  # warm-up: the handshake, first buffers
    daemon = bus_daemon()
    before, bus_before = cpu(head.pid), cpu(daemon) if daemon else 0
    sent = line.feed(seconds)
    used, bus_used = cpu(head.pid) - before, (cpu(daemon) - bus_before) if daemon else 0
    extra = ""
    if clients:
        start = time.monotonic()
        subprocess.run(["gdbus", "call", "--session"] + dest + ["--method", "org.canservice.Vehicle1.GetValues"],
                       capture_output=True, check=True)
        call_ms = (time.monotonic() - start) * 1000
        got = open(f"/tmp/canservice-load-{os.getpid()}-0").read().count("ValuesChanged")
        stalled = max(queued(name) for name in bus_names())
        extra = (f"; {got / (seconds + 2):.1f} ValuesChanged a second to each client; GetValues "
                 f"answered in {call_ms:.0f} ms; the bus used {bus_used / seconds * 100:.1f} % of a core and held {stalled / 1024:.0f} KiB "
                 f"for the client that never reads")
    for w in watchers:
        w.terminate(); w.wait()
    for i in range(clients):
        os.remove(f"/tmp/canservice-load-{os.getpid()}-{i}")
    head.send_signal(2)
    head.wait(timeout=10)
    os.close(master); os.close(slave)
    print(f"{label}: {sent} frames in {seconds:.0f} s ({sent / seconds:.0f} a second); CPU "
          f"{used / seconds * 100:.1f} % of a core, {used / max(sent, 1) * 1e6:.1f} us a frame{extra}",
          flush=True)
    return used / max(sent, 1) * 1e6

quiet = measure(["monitor", "--quiet"], "monitor --quiet", 0)
served = measure(["serve", "--bus", "session"], "serve, 20 clients", 20)
print(f"figure monitor_quiet_us {quiet:.1f}")
print(f"figure serve_20_clients_us {served:.1f}")
print(f"figure serve_over_quiet {served / quiet:.2f}")
PY
