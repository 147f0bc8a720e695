#!/usr/bin/env bash
# What publishing on MQTT costs a replay: a capture of the benchmark's traffic mix (100,000 frames
# by default) replayed as JSON Lines, and replayed with --mqtt (every change, --mqtt-rate 0, at
# QoS 1, through the queue on disk) into a Mosquitto broker this script starts on a free loopback
# port (max_inflight_messages 1000, as a broker that takes a fleet's bulk is set; the Debian
# default is 20). Wall time and CPU (user and system of the finished replay, all its threads; the
# broker's own CPU is not counted) per frame, and the changes a second the broker took. Measured
# as scripts/benchmethod.py says: alternating rounds, after a calibration of replay --json
# against itself; min / median / max.
#   bash scripts/mqttcost.sh [FRAMES] [--rounds N]
#   (needs a build in build/ and mosquitto)
# The last lines are "figure NAME VALUE".
set -euo pipefail
cd "$(dirname "$0")/.."
frames=100000
rounds=9
while [ $# -gt 0 ]; do
    case "$1" in
        --rounds) rounds="$2"; shift ;;
        *) frames="$1" ;;
    esac
    shift
done
[ -x build/bin/canservice ] && [ -x build/bin/bench_receive ] || { echo "build first: bash scripts/build.sh" >&2; exit 1; }
broker=$(command -v mosquitto || echo /usr/sbin/mosquitto)
[ -x "$broker" ] || { echo "mosquitto is missing: apt-get install -y mosquitto" >&2; exit 1; }
work=$(mktemp -d)
chmod 755 "$work"
trap 'kill $(cat "$work/pid" 2>/dev/null) 2>/dev/null; rm -rf "$work"' EXIT
echo "Making a capture of $frames frames of the traffic mix ..."
build/bin/bench_receive --capture "$frames" > "$work/mix.cap"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\nmax_inflight_messages 1000\nmax_queued_messages 0\n' \
    "$port" > "$work/mosquitto.conf"
"$broker" -c "$work/mosquitto.conf" > "$work/broker.log" 2>&1 &
echo $! > "$work/pid"
sleep 0.5

python3 - "$work" "$frames" "$rounds" "$port" <<'PY'
import os, resource, subprocess, sys, time

sys.path.insert(0, "scripts")
from benchmethod import alternate, calibrate, figure, spread  # noqa: E402

work, frames, rounds, port = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
capture = os.path.join(work, "mix.cap")
tool = "build/bin/canservice"
changes = sum(1 for line in subprocess.run([tool, "replay", "--json", capture], capture_output=True,
                                           text=True).stdout.splitlines() if '"type":"event"' in line)
runs = {"json": [tool, "replay", "--json", capture],
        "mqtt": [tool, "replay", "--json", capture, "--mqtt", f"mqtt://127.0.0.1:{port}", "--vehicle-id", "bench",
                 "--mqtt-rate", "0", "--mqtt-wait", "300"]}
walls = {row: [] for row in runs}


def cpu(row):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    done = subprocess.run(runs[row], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    walls[row].append(time.monotonic() - start)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if done.returncode != 0 or done.stderr:
        sys.exit(f"{row}: exit {done.returncode}: {done.stderr}")
    return (after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime) / frames * 1e6


calibrate("replay --json", lambda: cpu("json"), rounds)
for row in walls:
    walls[row].clear()
results = alternate(list(runs), rounds, cpu)
for row in runs:
    lo, median, hi = spread(results[row])
    print(f"replay {'--mqtt' if row == 'mqtt' else '--json'}: CPU {median:.2f} µs a frame (min {lo:.2f}, max {hi:.2f});"
          f" wall {spread(walls[row])[1]:.2f} s for {frames} frames, {changes} changes")
ratios = [m / j for m, j in zip(results["mqtt"], results["json"])]
rates = [changes / w for w in walls["mqtt"]]
figure("replay_json_cpu_us_per_frame", spread(results["json"])[1])
figure("replay_mqtt_cpu_us_per_frame", spread(results["mqtt"])[1])
figure("replay_mqtt_x_json", spread(ratios)[1])
figure("replay_mqtt_changes_per_second", spread(rates)[1], 0)
PY
