#!/usr/bin/env python3
"""A capture exported as pcapng, read by a real tshark with the project's Lua dissector: frame by
frame the same directions, kinds and identifiers as the tool's own frame view, the same speeds as
its decode, the bad checksum flagged, noise and the cut frame kept.
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
    command = [tshark, "-X", "lua_script:" + dissector, "-r", pcapng, "-T", "fields"]
    for field in fields:
        command += ["-e", field]
    out = subprocess.run(command, capture_output=True, text=True, check=True, timeout=60).stdout
    rows = [dict(zip(fields, line.split("\t"))) for line in out.splitlines()]

    seen = [(r["canbox.direction"], r["canbox.kind"], r["canbox.id"]) for r in rows]
    if seen != expected:
        sys.exit("%s: tshark saw\n  %s\nthe tool's frame view\n  %s" % (capture, seen, expected))
    times = [round(float(t), 3) for t in subprocess.run(
        [tshark, "-X", "lua_script:" + dissector, "-r", pcapng, "-T", "fields", "-e", "frame.time_epoch"],
        capture_output=True, text=True, check=True, timeout=60).stdout.split()]
    start = times[0] - [r["time"] for r in records if r["type"] == "frame"][0] if times else 0
    expected_times = [r["time"] for r in records if r["type"] == "frame"]
    if [round(t - start, 3) for t in times] != expected_times:
        sys.exit("%s: packet times %s, the frame view's %s" % (capture, times, expected_times))
    speeds = [float(r["canbox.Vehicle.Speed"]) for r in rows if r["canbox.Vehicle.Speed"]]
    if speeds != [float(s) for s in expected_speeds]:
        sys.exit("speeds: tshark %s, the tool %s" % (speeds, expected_speeds))
    flagged = [r for r in rows if r["canbox.kind"] == "bad-checksum"]
    if not all("Checksum" in r["_ws.expert.message"] for r in flagged):
        sys.exit("the bad checksum is not flagged: %s" % flagged)
    kinds = {k for _, k, _ in expected}
    if ("noise" in kinds) != any(r["canbox.noise"] for r in rows):
        sys.exit("%s: noise shown by one side only" % capture)
    print("%s: %d packets as the tool saw them, at its times; speeds %s" % (capture, len(rows), speeds))


def check_names(work):
    pcapng = os.path.join(work, "names.pcapng")
    expected = subprocess.run([names, pcapng], capture_output=True, text=True, check=True,
                              timeout=60).stdout.splitlines()
    fields = ["canbox.direction", "canbox.id", "canbox.name"]
    command = [tshark, "-X", "lua_script:" + dissector, "-r", pcapng, "-T", "fields"]
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
