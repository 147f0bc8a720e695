#!/usr/bin/env bash
# N cars on one MQTT broker: N `canservice replay CAPTURE --speed 1 --mqtt ...` runs at once, each
# with its own vehicle id, publishing to a mosquitto of the script's own on a free loopback port,
# while `mosquitto_sub -F '%U %t %p'` stamps every message it receives. Prints:
#   - value changes a second through the broker (what the subscriber received, without the online
#     and health topics, over the span from its first to its last);
#   - end-to-end latency p50 / p99, from the moment a replay hands a change to its publisher to
#     the subscriber's receive stamp, through the queue on disk, libmosquitto, the broker and the
#     subscriber, on the same machine's clock. A replay stamps a change with its capture's start
#     plus the capture clock's time; each run gets a copy of the capture whose "# start" is the
#     wall time just before the replay is started, so a stamp is the wall time of the change less
#     the replay's own start-up (exec, Qt, the plugin: its clock starts after them), which is
#     longer the more cars start at once. So two pairs: "upper", receive less stamp, which
#     includes the start-up; and "over fastest", receive less stamp less the smallest such
#     difference of the same run, which takes the start-up out with the fastest message's own
#     latency (a lower bound: the queueing and jitter the load adds). The true latency lies between.
#   - CPU per published change: user and system time of the replay processes (their shells'
#     cutime and cstime from /proc once they end) over the changes received. It is all a replay
#     does: reading and decoding the capture through the plugin as well as publishing (and the
#     few milliseconds of the date and cat that stamp each copy).
#   bash scripts/fleetload.sh N [--runs R] [--capture FILE]
#   (default: docs/builtin-drive.cap, 22 s, once; needs a build in build/ and Debian's mosquitto
#   and mosquitto-clients)
# The last lines are "figure NAME VALUE".
set -euo pipefail
cd "$(dirname "$0")/.."
cars="${1:?usage: fleetload.sh N [--runs R] [--capture FILE]}"
shift
runs=1
capture=docs/builtin-drive.cap
while [ $# -gt 0 ]; do
    case "$1" in
        --runs) runs="$2"; shift ;;
        --capture) capture="$2"; shift ;;
        *) echo "unknown option $1" >&2; exit 2 ;;
    esac
    shift
done
[ -x build/bin/canservice ] || { echo "build first: bash scripts/build.sh" >&2; exit 1; }
mosquitto=$(command -v mosquitto || echo /usr/sbin/mosquitto)
[ -x "$mosquitto" ] && command -v mosquitto_sub >/dev/null || {
    echo "needs mosquitto and mosquitto_sub (Debian packages mosquitto, mosquitto-clients)" >&2; exit 1; }
export QT_LOGGING_RULES="default.debug=false"

python3 - "$cars" "$runs" "$capture" "$mosquitto" build/bin/canservice <<'PY'
import calendar, json, os, shutil, signal, socket, statistics, subprocess, sys, tempfile, time

cars, runs, capture, mosquitto, tool = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]
work = tempfile.mkdtemp(prefix="fleetload-")
def iso(text):
    """Seconds since the epoch of "2026-12-07T03:52:26.521Z"."""
    return calendar.timegm(time.strptime(text[:19], "%Y-%m-%dT%H:%M:%S")) + float(text[19:-1] or 0)


body = "".join(line for line in open(capture) if not line.startswith("# start"))
# A copy of the capture that starts now, written by the shell that then starts the replay.
stamped = ('{ echo "# start $(date -u +%Y-%m-%dT%H:%M:%S.%3NZ)"; cat "$1"; } > "$2"; '
           'exec "$3" replay "$2" --speed 1 "${@:4}"')
with open(f"{work}/body.cap", "w") as f:
    f.write(body)

with socket.socket() as s:
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
with open(f"{work}/mosquitto.conf", "w") as f:
    f.write(f"listener {port} 127.0.0.1\nallow_anonymous true\n")
broker = subprocess.Popen([mosquitto, "-c", f"{work}/mosquitto.conf"], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL)
for _ in range(100):
    try:
        socket.create_connection(("127.0.0.1", port), timeout=0.2).close()
        break
    except OSError:
        time.sleep(0.05)
received = open(f"{work}/received", "w")
sub = subprocess.Popen(["mosquitto_sub", "-p", str(port), "-t", "canservice/#", "-F", "%U %t %p"], stdout=received)
time.sleep(0.5)

# Each car: its runs one after the other, then its shell's children's CPU time from /proc.
car = ('for run in $(seq "$2"); do bash -c "$4" - "$5" "$6" "$3" --mqtt "$7" --vehicle-id "$1" > /dev/null; done; '
       'read -r stat < /proc/$$/stat; echo "${stat##*) }" > "$8"')
began = time.time()
procs = [subprocess.Popen(["bash", "-c", car, "-", f"car{i}", str(runs), tool, stamped, f"{work}/body.cap",
                           f"{work}/car{i}.cap", f"mqtt://127.0.0.1:{port}", f"{work}/cpu{i}"])
         for i in range(cars)]
for p in procs:
    p.wait()
ran = time.time() - began
time.sleep(1)
sub.terminate()
sub.wait()
received.close()
broker.terminate()
broker.wait()

ticks = os.sysconf("SC_CLK_TCK")
cpu = 0.0
for i in range(cars):
    fields = open(f"{work}/cpu{i}").read().split()
    cpu += (int(fields[13]) + int(fields[14])) / ticks  # cutime, cstime
stamps, runs_seen = [], {}
for line in open(f"{work}/received"):
    stamp, topic, payload = line.rstrip("\n").split(" ", 2)
    if topic.endswith("/online") or topic.endswith("/health"):
        continue
    stamps.append(float(stamp))
    made = json.loads(payload)["time"]
    # A run is a car's copy of the capture: its start is the stamp's date less its capture time.
    runs_seen.setdefault((topic.split("/")[1], made[:15]), []).append(float(stamp) - iso(made))
upper = sorted(d for ds in runs_seen.values() for d in ds)
over = sorted(d - min(ds) for ds in runs_seen.values() for d in ds)
shutil.rmtree(work)
changes = len(stamps)
span = max(stamps) - min(stamps)
def pct(values, share):
    return values[min(len(values) - 1, int(len(values) * share))] * 1000
print(f"{cars} cars, {runs} run(s) each of {capture}: {changes} changes in {span:.1f} s through the broker "
      f"({changes / span:.0f} a second; the runs took {ran:.1f} s); latency over each run's fastest message p50 "
      f"{pct(over, 0.5):.1f} ms, p99 {pct(over, 0.99):.1f} ms; with the start-up p50 {pct(upper, 0.5):.1f} ms, "
      f"p99 {pct(upper, 0.99):.1f} ms; replays' CPU {cpu:.2f} s, {cpu / changes * 1e6:.0f} us a change")
print(f"figure cars {cars}")
print(f"figure changes_per_s {changes / span:.0f}")
print(f"figure latency_over_fastest_p50_ms {pct(over, 0.5):.1f}")
print(f"figure latency_over_fastest_p99_ms {pct(over, 0.99):.1f}")
print(f"figure latency_upper_p50_ms {pct(upper, 0.5):.1f}")
print(f"figure latency_upper_p99_ms {pct(upper, 0.99):.1f}")
print(f"figure cpu_us_per_change {cpu / changes * 1e6:.0f}")
PY
