#!/usr/bin/env bash
# Memory of `canservice serve` under a stream of GetValues calls: serve runs against its simulated
# box on a session bus of its own (dbus-run-session); a client (Debian's python3-dbus, so /usr/bin/python3) calls
# GetValues CALLS times, one after the other. Serve's resident memory (VmRSS, from /proc) is taken
# after the first tenth of the calls (the warm-up: the bus's buffers, the first answers) and at the
# end; the growth between them must stay within 5 MiB, or the script exits 1.
#   bash scripts/dbusmemory.sh [CALLS]     (default 100000; needs a build in build/)
# The last lines are one "figure NAME VALUE" line per figure.
set -euo pipefail
cd "$(dirname "$0")/.."
calls="${1:-100000}"
[ -x build/bin/canservice ] || { echo "build first: bash scripts/build.sh" >&2; exit 1; }
export QT_LOGGING_RULES="default.debug=false"

exec dbus-run-session -- /usr/bin/python3 - "$calls" build/bin/canservice <<'PY'
import subprocess, sys, time
import dbus

calls, tool = int(sys.argv[1]), sys.argv[2]
serve = subprocess.Popen([tool, "serve", "--bus", "session", "--sim"], stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)

def rss_kib():
    for line in open(f"/proc/{serve.pid}/status"):
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    raise SystemExit("serve is gone")

bus = dbus.SessionBus()
for _ in range(100):
    if bus.name_has_owner("org.canservice.Vehicle1"):
        break
    time.sleep(0.1)
else:
    serve.kill()
    raise SystemExit("serve did not take its name on the bus in 10 s")
vehicle = bus.get_object("org.canservice.Vehicle1", "/org/canservice/Vehicle1")
get_values = vehicle.get_dbus_method("GetValues", "org.canservice.Vehicle1")

warm_up = max(1, calls // 10)
start = time.monotonic()
for i in range(calls):
    if i == warm_up:
        after_warm_up = rss_kib()
    values = get_values()
seconds = time.monotonic() - start
at_end = rss_kib()
serve.send_signal(2)
serve.wait(timeout=10)
growth = at_end - after_warm_up
print(f"{calls} GetValues calls in {seconds:.1f} s ({calls / seconds:.0f} a second), {len(values)} values each; "
      f"serve's memory {after_warm_up} KiB after {warm_up} calls, {at_end} KiB at the end: {growth:+d} KiB")
print(f"figure getvalues_calls_per_second {calls / seconds:.0f}")
print(f"figure getvalues_rss_growth_kib {growth}")
sys.exit(0 if growth <= 5 * 1024 else 1)
PY
