#!/usr/bin/env python3
"""A capture exported as pcapng, read by a real tshark with the project's Lua dissector: frame by
frame the same directions, kinds and identifiers as the tool's own frame view, the same speeds as
its decode, the bad checksum flagged, noise and the cut frame kept.
Usage: wireshark_test.py TOOL DISSECTOR CAPTURE. Exits 77 (skipped) without tshark."""
import json
import os
import shutil
import subprocess
import sys
import tempfile

tool, dissector, capture = sys.argv[1:4]
tshark = shutil.which("tshark")
if not tshark:
    print("SKIP: tshark is not installed (Debian package tshark; scripts/test.sh installs it as root)")
    sys.exit(77)

with tempfile.TemporaryDirectory() as work:
    pcapng = os.path.join(work, "capture.pcapng")
    subprocess.run([tool, "export", capture, "--pcapng", pcapng], check=True, timeout=60)

    view = subprocess.run([tool, "replay", "--json", "--frames", "--no-wait", capture],
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
        sys.exit("tshark saw\n  %s\nthe tool's frame view\n  %s" % (seen, expected))
    speeds = [float(r["canbox.Vehicle.Speed"]) for r in rows if r["canbox.Vehicle.Speed"]]
    if speeds != [float(s) for s in expected_speeds]:
        sys.exit("speeds: tshark %s, the tool %s" % (speeds, expected_speeds))
    flagged = [r for r in rows if r["canbox.kind"] == "bad-checksum"]
    if not flagged or not all("Checksum" in r["_ws.expert.message"] for r in flagged):
        sys.exit("the bad checksum is not flagged: %s" % flagged)
    if not any(r["canbox.noise"] for r in rows) or not any(r["canbox.cut"] for r in rows):
        sys.exit("noise or the cut frame is missing")
    print("%d packets as the tool saw them; speeds %s" % (len(rows), speeds))
