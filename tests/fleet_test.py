#!/usr/bin/env python3
"""canservice fleet against a real mosquitto on a free loopback port. Started before the broker is
there: it says so, keeps trying, and once the broker comes, two cars (two replays with their own
vehicle ids) show with each capture's last speed, and offline after their runs end. A later run
sees the broker's kept messages as JSON Lines, as a log, and on a pseudo-terminal (the alternate
screen, left on Ctrl-C with the last table). A refused login exits 16, a broker certificate from
another CA 17. Usage: fleet_test.py TOOL DATA_DIR"""
import atexit
import getpass
import json
import os
import pty
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

tool, data_dir = sys.argv[1:3]
if not shutil.which("mosquitto") and not os.path.exists("/usr/sbin/mosquitto"):
    print("mosquitto is not installed (Debian package mosquitto)")
    sys.exit(77)
MOSQUITTO = shutil.which("mosquitto") or "/usr/sbin/mosquitto"
work = tempfile.mkdtemp(prefix="fleet-test-")
started = []


@atexit.register
def stop_all():
    for p in started:
        if p.poll() is None:
            p.kill()
            p.wait()


def check(condition, message):
    if not condition:
        sys.exit("FAIL: " + message)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def broker(port, *lines):
    conf = os.path.join(work, f"mosquitto-{port}.conf")
    with open(conf, "w") as f:
        # As root mosquitto would become the user mosquitto, who cannot read the test's files.
        f.write("\n".join([f"listener {port} 127.0.0.1", f"user {getpass.getuser()}", *lines]) + "\n")
    log = open(conf + ".log", "w")
    p = subprocess.Popen([MOSQUITTO, "-c", conf], stdout=log, stderr=log)
    started.append(p)
    for _ in range(100):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=0.2).close()
            return p
        except OSError:
            time.sleep(0.05)
    check(False, f"mosquitto did not listen on {port}: {open(conf + '.log').read()}")


def last_speed(capture):
    """The capture's last Vehicle.Speed as replay --json tells it: (value, unit)."""
    out = subprocess.run([tool, "replay", "--json", capture], capture_output=True, text=True, timeout=60).stdout
    speeds = [r for r in map(json.loads, out.splitlines()) if r.get("name") == "Vehicle.Speed"]
    return speeds[-1]["value"], speeds[-1].get("unit")


def rows(out):
    """The newest JSON line of each car."""
    newest = {}
    for line in out.splitlines():
        record = json.loads(line)
        newest[record["vehicle"]] = record
    return newest


port = free_port()
url = f"mqtt://127.0.0.1:{port}"
cars = {"carA": os.path.join(data_dir, "drive.cap"), "carB": os.path.join(data_dir, "imperial.cap")}
expected = {car: last_speed(capture) for car, capture in cars.items()}
check(expected["carA"] != expected["carB"], f"the captures end at the same speed {expected}")

# Before the broker: said on standard error, and tried again.
fleet = subprocess.Popen([tool, "fleet", url, "--json"], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
started.append(fleet)
time.sleep(2.5)
broker(port, "allow_anonymous true")
for car, capture in cars.items():
    done = subprocess.run([tool, "replay", capture, "--mqtt", url, "--vehicle-id", car, "--mqtt-rate", "0"],
                          capture_output=True, text=True, timeout=60)
    check(done.returncode == 0, f"replay {car}: exit {done.returncode}, {done.stderr}")
# The fleet's next try comes within seconds, then the broker's kept messages.
deadline = time.time() + 30
while time.time() < deadline and not select.select([fleet.stdout], [], [], 0.5)[0]:
    pass
time.sleep(1)
fleet.send_signal(signal.SIGINT)
out, err = fleet.communicate(timeout=10)
check(fleet.returncode == 130, f"fleet after Ctrl-C: exit {fleet.returncode}, {err}")
check(f"cannot reach the MQTT broker 127.0.0.1:{port}; trying again" in err
      and f"connected to the MQTT broker 127.0.0.1:{port}" in err, f"fleet's standard error: {err!r}")
seen = rows(out)
check(sorted(seen) == ["carA", "carB"], f"fleet saw {sorted(seen)}")
for car, (value, unit) in expected.items():
    row = seen[car]
    check((row["speed"], row["unit"], row["online"]) == (value, unit, False),
          f"{car}: {row}, expected speed {value} {unit}, offline")
    check(row["link"] == "up" and isinstance(row["queued"], int) and row["dropped"] == 0, f"{car}'s health: {row}")

# Live: a car that publishes while the fleet watches, its changes as they come.
fleet = subprocess.Popen([tool, "fleet", url, "--json", "--for", "8"], stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, text=True)
started.append(fleet)
time.sleep(1)
done = subprocess.run([tool, "replay", cars["carB"], "--mqtt", url, "--vehicle-id", "carC", "--speed", "0.5"],
                      capture_output=True, text=True, timeout=60)
out, err = fleet.communicate(timeout=20)
check(fleet.returncode == 0 and err == "", f"fleet --for 8: exit {fleet.returncode}, {err!r}")
lines = [json.loads(line) for line in out.splitlines()]
carc = [r for r in lines if r["vehicle"] == "carC"]
check(len(carc) >= 3 and carc[0]["online"] is True and carc[-1]["online"] is False, f"carC's rows: {carc}")
check((carc[-1]["speed"], carc[-1]["unit"]) == expected["carB"], f"carC's last row: {carc[-1]}")
check(any(r["lastChange"] for r in carc), f"carC's values came live and have no time: {carc}")
# Kept by the broker, with a capture's own seconds for times: when they were made is not known.
car_a = [r for r in lines if r["vehicle"] == "carA"]
check(len(car_a) == 1 and car_a[0]["lastChange"] is None, f"carA, which did not change: {car_a}")

# A log when standard output is not a terminal: the last snapshot names both cars offline.
done = subprocess.run([tool, "fleet", url, "--for", "1.5"], capture_output=True, text=True, timeout=20)
value, unit = expected["carA"]
snapshot = done.stdout[done.stdout.rfind(url):].splitlines()
check(done.returncode == 0 and snapshot[0].startswith(f"{url}  canservice/+/#  connected  3 cars, 0 online"),
      f"fleet's log: exit {done.returncode}, {done.stdout!r}")
car_a = next(line.split() for line in snapshot if line.startswith("carA"))
check(car_a[1:2] == ["no"] and f"{value:.1f}" in car_a and unit in car_a, f"carA in the log: {car_a}")

# On a terminal: the alternate screen, the table in it, and on Ctrl-C the terminal back and the last table.
pid, fd = pty.fork()
if pid == 0:
    os.environ["TERM"] = "xterm"
    os.execv(tool, [tool, "fleet", url])
screen = b""
deadline = time.time() + 10
while time.time() < deadline and b"carC" not in screen:
    if select.select([fd], [], [], 0.5)[0]:
        screen += os.read(fd, 65536)
os.kill(pid, signal.SIGINT)
while True:
    try:
        chunk = os.read(fd, 65536)
    except OSError:
        break
    if not chunk:
        break
    screen += chunk
_, status = os.waitpid(pid, 0)
check(os.waitstatus_to_exitcode(status) == 130, f"fleet on a terminal: {status}")
text = screen.decode()
check(text.startswith("\x1b[?1049h") and "\x1b[?1049l" in text, f"the alternate screen: {text[:80]!r}")
after = text.split("\x1b[?1049l")[-1]
check("carA" in after and "carC" in after and "\x1b" not in after, f"the last table: {after!r}")

# A refused login: 16, said as such; the right password is taken.
port2 = free_port()
passwords = os.path.join(work, "passwords")
subprocess.run(["mosquitto_passwd", "-b", "-c", passwords, "fleet", "secret"], check=True, timeout=20)
broker(port2, "allow_anonymous false", f"password_file {passwords}")
for password, code in (("wrong", 16), ("secret", 0)):
    done = subprocess.run([tool, "fleet", f"mqtt://fleet@127.0.0.1:{port2}", "--json", "--for", "1"],
                          capture_output=True, text=True, timeout=20,
                          env={**os.environ, "CANSERVICE_MQTT_PASSWORD": password})
    check(done.returncode == code and (code == 0) == ("refused the login" not in done.stderr),
          f"password {password}: exit {done.returncode}, {done.stderr!r}")

# A broker whose certificate another CA signed: 17.
if shutil.which("openssl"):
    def openssl(*args):
        subprocess.run(["openssl", *args], cwd=work, check=True, capture_output=True, timeout=30)
    for ca in ("ca", "otherca"):
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", f"/CN={ca}",
                "-keyout", f"{ca}.key", "-out", f"{ca}.crt")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout", "server.key",
            "-out", "server.csr")
    openssl("x509", "-req", "-in", "server.csr", "-CA", "ca.crt", "-CAkey", "ca.key", "-CAcreateserial",
            "-days", "2", "-out", "server.crt")
    port3 = free_port()
    broker(port3, "allow_anonymous true", f"certfile {work}/server.crt", f"keyfile {work}/server.key",
           f"cafile {work}/ca.crt")
    done = subprocess.run([tool, "fleet", f"mqtts://127.0.0.1:{port3}", "--mqtt-ca", os.path.join(work, "otherca.crt"),
                           "--json", "--for", "5"], capture_output=True, text=True, timeout=20)
    check(done.returncode == 17 and "TLS handshake" in done.stderr, f"another CA: exit {done.returncode}, {done.stderr!r}")

shutil.rmtree(work)
print("fleet: OK")
