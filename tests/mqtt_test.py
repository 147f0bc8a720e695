#!/usr/bin/env python3
"""The vehicle on a real Mosquitto broker, started here on a free loopback port: replay --mqtt
publishes what replay --json prints, change for change and in order; a queue on disk outlives a
run killed while the broker is away, and the next run sends it first; a broker stopped for 10 s in
the middle of a drive loses nothing; a refused login, a topic the broker's ACL denies and a
certificate the client does not trust each end the run with their own exit code, after its other
views. Skips (77) when mosquitto is not installed. Usage: mqtt_test.py TOOL DATA_DIR"""
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

tool, data_dir = sys.argv[1:3]
for program in ("mosquitto", "mosquitto_sub", "mosquitto_passwd", "openssl"):
    if not shutil.which(program) and not os.path.exists(f"/usr/sbin/{program}"):
        print(f"SKIP: {program} is not installed (bash scripts/setup.sh installs it)")
        sys.exit(77)
work = tempfile.mkdtemp(prefix="canservice-mqtt-")
# Started as root, mosquitto reads its files as the user mosquitto.
os.chmod(work, 0o755)
broker_bin = shutil.which("mosquitto") or "/usr/sbin/mosquitto"


def check(condition, message):
    if not condition:
        sys.exit("FAIL: " + message)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Broker:
    """mosquitto on a free port with a configuration of the test's; its sessions and retained
    messages kept on disk across a stop and a start, as a real deployment keeps them."""

    def __init__(self, name, extra="", tls_port=None):
        self.dir = os.path.join(work, name)
        os.makedirs(self.dir, exist_ok=True)
        self.port = free_port()
        self.tls_port = tls_port
        with open(os.path.join(self.dir, "mosquitto.conf"), "w") as conf:
            conf.write(f"persistence true\npersistence_location {self.dir}/\n"
                       f"listener {self.port} 127.0.0.1\n{extra}")
        self.process = None

    def start(self):
        self.process = subprocess.Popen([broker_bin, "-c", os.path.join(self.dir, "mosquitto.conf")],
                                        stdout=subprocess.DEVNULL, stderr=open(os.path.join(self.dir, "log"), "a"))
        for _ in range(100):
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=0.1).close()
                return self
            except OSError:
                time.sleep(0.05)
        sys.exit(f"FAIL: mosquitto did not start: {open(os.path.join(self.dir, 'log')).read()}")

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        self.process.wait(timeout=10)

    def url(self, user=""):
        return f"mqtt://{user + '@' if user else ''}127.0.0.1:{self.port}"


class Subscriber:
    """mosquitto_sub on every topic of a car, with a session the broker keeps while it is away
    (QoS 1, not clean), so that nothing published while it reconnects is missed."""

    def __init__(self, broker, car, user_args=()):
        self.out = os.path.join(work, f"sub-{car}-{time.monotonic_ns()}")
        self.process = subprocess.Popen(["mosquitto_sub", "-p", str(broker.port), "-h", "127.0.0.1", "-q", "1",
                                         "-c", "-i", f"test-{car}", "-v", "-t", f"canservice/{car}/#", *user_args],
                                        stdout=open(self.out, "w"), stderr=subprocess.DEVNULL)
        time.sleep(0.3)

    def messages(self):
        out = []
        for line in open(self.out):
            topic, _, payload = line.rstrip("\n").partition(" ")
            out.append((topic, payload))
        return out

    def wait_for(self, condition, what, seconds=30):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if condition(self.messages()):
                return self.messages()
            time.sleep(0.1)
        sys.exit(f"FAIL: the subscriber never saw {what}: {self.messages()[-5:]}")

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)


def events(capture):
    """replay --json's value changes: [(topic suffix, value, unit)] in order."""
    done = subprocess.run([tool, "replay", "--json", capture], capture_output=True, text=True, timeout=120)
    records = [json.loads(line) for line in done.stdout.splitlines()]
    return [(r["name"].replace(".", "/"), r["value"], r.get("unit")) for r in records
            if r["type"] == "event" and r["name"] not in ("CanBox.Key", "CanBox.Notification")]


def values(messages, car):
    """The value messages of a car, in order: [(topic suffix, value, unit)]."""
    prefix = f"canservice/{car}/"
    out = []
    for topic, payload in messages:
        suffix = topic[len(prefix):]
        if topic.startswith(prefix) and suffix not in ("online", "health"):
            record = json.loads(payload)
            out.append((suffix, record["value"], record.get("unit")))
    return out


def per_topic(changes):
    topics = {}
    for topic, value, unit in changes:
        topics.setdefault(topic, []).append((value, unit))
    return topics


def replay(capture, broker_url, car, *extra, timeout=120):
    return subprocess.run([tool, "replay", capture, "--mqtt", broker_url, "--vehicle-id", car, "--mqtt-rate", "0",
                           *extra], capture_output=True, text=True, timeout=timeout)


drive = os.path.join(data_dir, "drive.cap")
expected = events(drive)
check(len(expected) > 30, f"drive.cap has {len(expected)} changes")

# What replay --json prints, the broker gets, change for change and in order; the car online
# while it runs and offline after.
broker = Broker("plain", "allow_anonymous true\n").start()
sub = Subscriber(broker, "car1")
done = replay(drive, broker.url(), "car1", "--json")
check(done.returncode == 0 and done.stderr == "", f"replay --mqtt: exit {done.returncode}, {done.stderr}")
check(done.stdout.count('"type":"event"') >= len(expected), "replay's own JSON Lines went on beside MQTT")
got = sub.wait_for(lambda m: ("canservice/car1/online", "false") in m, "car1 offline")
check(values(got, "car1") == expected, f"the broker got {values(got, 'car1')[:4]}..., replay says {expected[:4]}...")
online = [p for t, p in got if t == "canservice/car1/online"]
check(online == ["true", "false"], f"car1 online {online}")
health = json.loads([p for t, p in got if t == "canservice/car1/health"][-1])
check(health["framesAccepted"] == 11 and health["checksumErrors"] == 1 and health["dropped"] == 0 and health["queued"] == 0,
      f"car1's last health {health}")
sub.stop()
print(f"replay --mqtt: {len(expected)} changes, each as replay --json says")

# The speed every 20 ms for a second: at the default 10 a second, each sent value at least 0.1 s
# of the capture after the one before, and the last one always.
fast = os.path.join(work, "fast.cap")
with open(fast, "w") as f:
    for kmh in range(50):
        data = [(kmh * 16) & 0xFF, (kmh * 16) >> 8, 0]
        f.write(f"{kmh * 0.02:.3f} 2e f6 03 {' '.join(f'{b:02x}' for b in data)} "
                f"{0xFF - (0xF6 + 3 + sum(data)) & 0xFF:02x}\n")
sub = Subscriber(broker, "car9")
done = subprocess.run([tool, "replay", fast, "--mqtt", broker.url(), "--vehicle-id", "car9"], capture_output=True,
                      text=True, timeout=60)
got = sub.wait_for(lambda m: ("canservice/car9/online", "false") in m, "car9 offline")
speeds = [json.loads(p) for t, p in got if t == "canservice/car9/Vehicle/Speed"]
times = [s["time"] for s in speeds]
check(done.returncode == 0 and 8 <= len(speeds) <= 12 and speeds[-1]["value"] == 49
      and all(b - a > 0.0999 for a, b in zip(times, times[1:])),
      f"at 10 a second: {[(s['time'], s['value']) for s in speeds]}")
sub.stop()
print(f"rate: {len(speeds)} of 50 speeds at 10 a second, the last kept")

# The health when it changes: a box silent for 30 s says nothing new until its link is lost.
sub = Subscriber(broker, "car10")
replay(os.path.join(data_dir, "silence.cap"), broker.url(), "car10")
got = sub.wait_for(lambda m: ("canservice/car10/online", "false") in m, "car10 offline")
healths = [json.loads(p) for t, p in got if t == "canservice/car10/health"]
check(2 <= len(healths) <= 8 and all(a != b for a, b in zip(healths, healths[1:])) and healths[-1]["link"] == "lost",
      f"health on change: {healths}")
sub.stop()

# The dashboard shows a car from the broker: what the car published reaches its screen (the picture
# is not that of a car that never published), and both pages pass the layout check.
if shutil.which("xvfb-run"):
    shots = {}
    # Under the sanitizers, as the other screen tests: Mesa's unloaded plugins leave allocations no
    # suppression can name, so the screen runs without the leak check.
    screen_env = dict(os.environ)
    if "ASAN_OPTIONS" in screen_env:
        screen_env["ASAN_OPTIONS"] += ":detect_leaks=0"
    for car in ("car1", "nobody"):
        shot = os.path.join(work, f"{car}.png")
        done = subprocess.run(["xvfb-run", "-a", tool, "dashboard", "--from-mqtt", broker.url(), "--vehicle-id", car,
                               "--size", "800x480", "--at", "1.5", "--check-layout", "--screenshot", shot],
                              capture_output=True, text=True, timeout=60, env=screen_env)
        check(done.returncode == 0 and done.stdout.endswith("0 faults on 2 pages\n"),
              f"dashboard --from-mqtt {car}: exit {done.returncode}, {done.stdout} {done.stderr}")
        shots[car] = open(shot, "rb").read()
    check(shots["car1"] != shots["nobody"], "car1's values never reached the screen")
    print("dashboard --from-mqtt: car1 on the screen, both pages laid out right")

# A run that cannot reach the broker keeps its changes in the queue; killed, it loses none; the
# next run with the same queue sends them first, in order.
queue = os.path.join(work, "queue")
broker.stop()
run = subprocess.Popen([tool, "replay", drive, "--mqtt", broker.url(), "--vehicle-id", "car2", "--mqtt-rate", "0",
                        "--mqtt-queue", queue, "--mqtt-wait", "60"], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
time.sleep(2)  # the capture is replayed; the run waits for the broker
run.kill()
run.wait()
check(any(name.endswith(".q") and os.path.getsize(os.path.join(queue, name)) > 0 for name in os.listdir(queue)),
      f"nothing queued in {os.listdir(queue)}")
broker.start()
sub = Subscriber(broker, "car2")
empty = os.path.join(work, "empty.cap")
open(empty, "w").close()
done = replay(empty, broker.url(), "car2", "--mqtt-queue", queue)
check(done.returncode == 0 and done.stderr == "", f"the next run: exit {done.returncode}, {done.stderr}")
got = sub.wait_for(lambda m: len(values(m, "car2")) >= len(expected), "the queued changes")
check(values(got, "car2") == expected, f"after the restart {values(got, 'car2')[:4]}..., queued {expected[:4]}...")
sub.stop()
print(f"queue: {len(expected)} changes kept through a kill -9 and sent by the next run")

# A broker stopped for 10 s in the middle of a drive at real time: every change arrives, in order
# for each topic, once it is back.
builtin = os.path.join(os.path.dirname(data_dir.rstrip("/")), "..", "docs", "builtin-drive.cap")
builtin = os.path.normpath(builtin)
whole = events(builtin)
sub = Subscriber(broker, "car3")
run = subprocess.Popen([tool, "replay", builtin, "--speed", "1", "--mqtt", broker.url(), "--vehicle-id", "car3",
                        "--mqtt-rate", "0", "--mqtt-wait", "60"], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                       text=True)
time.sleep(4)
broker.stop()
time.sleep(10)
broker.start()
_, err = run.communicate(timeout=120)
check(run.returncode == 0 and err == "", f"the drive through an outage: exit {run.returncode}, {err}")
got = sub.wait_for(lambda m: ("canservice/car3/online", "false") in m, "car3 offline after the drive")
check(per_topic(values(got, "car3")) == per_topic(whole),
      f"through the outage: {sum(map(len, per_topic(values(got, 'car3')).values()))} of {len(whole)} changes")

sub.stop()
broker.stop()
print(f"outage: {len(whole)} changes through a broker stopped for 10 s")

# A broker that checks who publishes what: a password file and an ACL. A wrong password and a
# denied topic each end the run with their own code, after the replay's own output.
secure = Broker("secure", "allow_anonymous false\npassword_file {dir}/passwd\nacl_file {dir}/acl\n")
subprocess.run(["mosquitto_passwd", "-b", "-c", os.path.join(secure.dir, "passwd"), "car", "right"], check=True)
with open(os.path.join(secure.dir, "acl"), "w") as acl:
    acl.write("user car\ntopic readwrite canservice/car4/#\n")
for name in ("passwd", "acl"):
    os.chmod(os.path.join(secure.dir, name), 0o644)
conf = os.path.join(secure.dir, "mosquitto.conf")
with open(conf) as f:
    text = f.read().replace("{dir}", secure.dir)
with open(conf, "w") as f:
    f.write(text)
secure.start()
password = os.path.join(work, "password")
with open(password, "w") as f:
    f.write("right\n")
for car, secret, code, said in (("car4", "right", 0, ""), ("car4", "wrong", 16, "refused the login"),
                                ("car5", "right", 18, "does not let this client publish under canservice/car5/")):
    with open(password, "w") as f:
        f.write(secret + "\n")
    done = replay(drive, secure.url("car"), car, "--json", "--mqtt-password-file", password, "--mqtt-wait", "5")
    check(done.returncode == code and said in done.stderr and done.stderr.count("\n") <= 1
          and done.stdout.count('"type":"event"') >= len(expected),
          f"{car} with password {secret}: exit {done.returncode}, {done.stderr!r}")
secure.stop()
print("a refused login (16) and a denied topic (18), each said in a line, the run's output whole")

# TLS: a broker whose certificate a CA of the test signed; a client that trusts another CA fails
# the handshake with its own code, one that trusts the right one publishes.
tls = os.path.join(work, "tls")
os.makedirs(tls, mode=0o755)


def openssl(*args):
    subprocess.run(["openssl", *args], check=True, capture_output=True, cwd=tls)


for ca in ("ca", "other"):
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", f"/CN=test {ca}",
            "-keyout", f"{ca}.key", "-out", f"{ca}.crt")
openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout", "server.key", "-out", "server.csr")
with open(os.path.join(tls, "san"), "w") as f:
    f.write("subjectAltName=IP:127.0.0.1\n")
openssl("x509", "-req", "-in", "server.csr", "-CA", "ca.crt", "-CAkey", "ca.key", "-CAcreateserial", "-days", "2",
        "-extfile", "san", "-out", "server.crt")
for name in os.listdir(tls):
    os.chmod(os.path.join(tls, name), 0o644)
tls_broker = Broker("tls", f"listener PORT2 127.0.0.1\ncafile {tls}/ca.crt\ncertfile {tls}/server.crt\n"
                           f"keyfile {tls}/server.key\nallow_anonymous true\n")
tls_port = free_port()
conf = os.path.join(tls_broker.dir, "mosquitto.conf")
with open(conf) as f:
    text = f.read().replace("PORT2", str(tls_port))
with open(conf, "w") as f:
    f.write("allow_anonymous true\n" + text)
tls_broker.start()
for ca, code, said in (("ca", 0, ""), ("other", 17, "TLS handshake")):
    done = replay(drive, f"mqtts://127.0.0.1:{tls_port}", "car6", "--json", "--mqtt-ca", os.path.join(tls, f"{ca}.crt"),
                  "--mqtt-wait", "5")
    check(done.returncode == code and said in done.stderr and done.stdout.count('"type":"event"') >= len(expected),
          f"TLS trusting {ca}: exit {done.returncode}, {done.stderr!r}")
tls_broker.stop()
print("TLS: the broker's CA trusted, published; another CA, the handshake refused (17)")
shutil.rmtree(work, ignore_errors=True)
