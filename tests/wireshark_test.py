#!/usr/bin/env python3
"""A capture exported as pcapng, read by a real tshark with the project's Lua dissector: frame by
frame the same directions, kinds and identifiers as the tool's own frame view, the same speeds as
its decode, the bad checksum flagged, noise and the cut frame kept.
With DISSECTOR given as installed:BUILD_DIR, the build is installed into a fresh prefix and tshark
runs without -X, its global Lua plugins folder replaced in a mount namespace of its own by the one
the install put the dissector in (the library folder's wireshark/plugins; that this is tshark's own
folder for the prefix /usr is checked where the package is built, by scripts/package.sh).
Every catalogue value that replay reports must also be a field of the dissector, with the values
replay gave it.
Usage: wireshark_test.py TOOL DISSECTOR CAPTURE... Exits 77 (skipped) without tshark."""
import json
import os
import shutil
import subprocess
import sys
import tempfile

tool, dissector, names, captures = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
tshark = shutil.which("tshark")
if not tshark:
    print("SKIP: tshark is not installed (Debian package tshark; scripts/test.sh installs it as root)")
    sys.exit(77)

def tshark_command(work):
    """tshark with the dissector: named with -X, or installed where the package puts it."""
    if not dissector.startswith("installed:"):
        return [tshark, "-X", "lua_script:" + dissector]
    prefix = os.path.join(work, "usr")
    if not os.path.isdir(prefix):
        subprocess.run(["cmake", "--install", dissector[len("installed:"):], "--prefix", prefix],
                       check=True, capture_output=True, timeout=120)
    folders = subprocess.run([tshark, "-G", "folders"], capture_output=True, text=True, check=True).stdout
    global_lua = [l.split(":", 1)[1].strip() for l in folders.splitlines() if l.startswith("Global Lua Plugins")][0]
    found = [os.path.join(d, "canbox.lua") for d, _, files in os.walk(prefix) if "canbox.lua" in files]
    if len(found) != 1 or not found[0].endswith("/wireshark/plugins/canbox.lua"):
        sys.exit("the install put canbox.lua in %s, not once in a wireshark/plugins folder" % found)
    installed = found[0]
    wrapper = ["unshare", "-m", "sh", "-c", 'mount --bind "$1" "$2" && shift 2 && exec "$@"', "sh",
               os.path.dirname(installed), global_lua, tshark]
    if subprocess.run(wrapper + ["-v"], capture_output=True).returncode != 0:
        print("SKIP: no mount namespace here (unshare -m needs root); .ci/run checks the installed package")
        sys.exit(77)
    return wrapper


def same(shown, value):
    if isinstance(value, bool):
        return shown in (("1", "True") if value else ("0", "False"))
    if isinstance(value, (int, float)):
        try:
            return abs(float(shown) - value) < 1e-6
        except ValueError:
            return False
    return shown == value


def check_values(work, pcapng, records, capture):
    """Every catalogue value replay reports is a field of the dissector, with each value it had."""
    events = {}
    for r in records:
        if r["type"] == "event" and r.get("value") is not None and not r["name"].startswith("CanBox.Notification"):
            events.setdefault(r["name"], []).append(r["value"])
    names = sorted(events)
    command = tshark_command(work) + ["-r", pcapng, "-T", "fields", "-E", "occurrence=a", "-E", "aggregator=|"]
    for name in names:
        command += ["-e", "canbox." + name]
    out = subprocess.run(command, capture_output=True, text=True, timeout=60)
    if out.returncode != 0:
        sys.exit("%s: tshark: %s" % (capture, out.stderr))
    shown = {name: set() for name in names}
    for line in out.stdout.splitlines():
        for name, cell in zip(names, line.split("\t")):
            shown[name].update(v for v in cell.split("|") if v)
    for name in names:
        # Announced with the climate block at the plugin's default; only message 0xff sets it.
        if name == "CanBox.Climate.AirCleaningCode" and events[name] == [0] and not shown[name]:
            continue
        for value in events[name]:
            if not any(same(s, value) for s in shown[name]):
                sys.exit("%s: %s was %r in replay; the dissector shows %s" % (capture, name, value, sorted(shown[name])))
    print("%s: %d catalogue values decoded by the dissector as by the plugin" % (capture, len(names)))


def check(work, capture):
    pcapng = os.path.join(work, "capture.pcapng")
    subprocess.run([tool, "export", capture, "--pcapng", pcapng], check=True, timeout=60)

    view = subprocess.run([tool, "replay", "--json", "--frames", capture],
                          capture_output=True, text=True, check=True, timeout=60).stdout
    records = [json.loads(line) for line in view.splitlines()]
    expected = [(r["direction"], r["kind"], "0x%02x" % r["id"] if "id" in r else "")
                for r in records if r["type"] == "frame"]
    expected_speeds = [r["value"] for r in records
                       if r["type"] == "event" and r["name"] == "Vehicle.Speed"]

    fields = ["canbox.direction", "canbox.kind", "canbox.id", "canbox.Vehicle.Speed",
              "_ws.expert.message", "canbox.noise", "canbox.cut"]
    command = tshark_command(work) + ["-r", pcapng, "-T", "fields"]
    for field in fields:
        command += ["-e", field]
    out = subprocess.run(command, capture_output=True, text=True, check=True, timeout=60).stdout
    rows = [dict(zip(fields, line.split("\t"))) for line in out.splitlines()]

    seen = [(r["canbox.direction"], r["canbox.kind"], r["canbox.id"]) for r in rows]
    if seen != expected:
        sys.exit("%s: tshark saw\n  %s\nthe tool's frame view\n  %s" % (capture, seen, expected))
    times = [round(float(t), 3) for t in subprocess.run(
        tshark_command(work) + ["-r", pcapng, "-T", "fields", "-e", "frame.time_epoch"],
        capture_output=True, text=True, check=True, timeout=60).stdout.split()]
    start = times[0] - [r["time"] for r in records if r["type"] == "frame"][0] if times else 0
    expected_times = [r["time"] for r in records if r["type"] == "frame"]
    if [round(t - start, 3) for t in times] != expected_times:
        sys.exit("%s: packet times %s, the frame view's %s" % (capture, times, expected_times))
    # A box that repeats its speed is shown each time; replay shows the changes.
    speeds = [float(r["canbox.Vehicle.Speed"]) for r in rows if r["canbox.Vehicle.Speed"]]
    speeds = [v for i, v in enumerate(speeds) if i == 0 or v != speeds[i - 1]]
    # The plugin holds 0 before the first speed: replay does not tell a first 0 as a change.
    if speeds[:1] == [0.0] and expected_speeds[:1] != [0]:
        speeds = speeds[1:]
    if speeds != [float(s) for s in expected_speeds]:
        sys.exit("speeds: tshark %s, the tool %s" % (speeds, expected_speeds))
    flagged = [r for r in rows if r["canbox.kind"] == "bad-checksum"]
    if not all("Checksum" in r["_ws.expert.message"] for r in flagged):
        sys.exit("the bad checksum is not flagged: %s" % flagged)
    kinds = {k for _, k, _ in expected}
    if ("noise" in kinds) != any(r["canbox.noise"] for r in rows):
        sys.exit("%s: noise shown by one side only" % capture)
    check_values(work, pcapng, records, capture)
    print("%s: %d packets as the tool saw them, at its times; speeds %s" % (capture, len(rows), speeds))


def check_names(work):
    pcapng = os.path.join(work, "names.pcapng")
    expected = subprocess.run([names, pcapng], capture_output=True, text=True, check=True,
                              timeout=60).stdout.splitlines()
    fields = ["canbox.direction", "canbox.id", "canbox.name"]
    command = tshark_command(work) + ["-r", pcapng, "-T", "fields"]
    for field in fields:
        command += ["-e", field]
    out = subprocess.run(command, capture_output=True, text=True, check=True, timeout=60).stdout
    seen = [" ".join(line.split("\t")) for line in out.splitlines()]
    wrong = [(e, s) for e, s in zip(expected, seen) if e != s]
    if len(seen) != len(expected) or wrong:
        sys.exit("message names: the codec's and the dissector's differ (codec, dissector):\n  %s"
                 % "\n  ".join("%s | %s" % pair for pair in wrong[:20]))
    print("%d identifiers named as the codec names them" % len(seen))


with tempfile.TemporaryDirectory() as work:
    check_names(work)
    for capture in captures:
        check(work, capture)
