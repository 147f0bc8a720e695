#!/usr/bin/env bash
# CPU per frame of the tool's work on a capture, beside Wireshark's: a capture of the benchmark's
# traffic mix (1,000,000 frames by default) is replayed as JSON Lines and as the frame view,
# exported to pcapng, and that export read by tshark with the project's dissector. CPU is user and
# system time of each command, read with getrusage; the ratios are tshark's CPU over the tool's.
#   bash scripts/capturecost.sh [FRAMES]     (needs a build in build/; tshark for the comparison)
set -euo pipefail
cd "$(dirname "$0")/.."
frames="${1:-1000000}"
[ -x build/bin/canservice ] && [ -x build/bin/bench_receive ] || { echo "build first: bash scripts/build.sh" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "Making a capture of $frames frames of the traffic mix ..."
build/bin/bench_receive --capture "$frames" > "$work/mix.cap"

python3 - "$work" "$frames" <<'PY'
import os, resource, shutil, subprocess, sys

work, frames = sys.argv[1], int(sys.argv[2])
capture = os.path.join(work, "mix.cap")
pcapng = os.path.join(work, "mix.pcapng")

def cpu(command, **kwargs):
    """Runs command to its end, its output thrown away; returns its CPU seconds (user + system)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True, **kwargs)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)

def per_frame(seconds):
    return seconds / frames * 1e6

tool = "build/bin/canservice"
rows = [("replay --json", cpu([tool, "replay", "--json", capture])),
        ("replay --frames", cpu([tool, "replay", "--frames", capture])),
        ("export --pcapng", cpu([tool, "export", capture, "--pcapng", pcapng]))]
for label, seconds in rows:
    print(f"{label:<18} {per_frame(seconds):7.2f} us a frame")

tshark = shutil.which("tshark")
if not tshark:
    print("tshark is not installed (Debian package tshark): no comparison")
    sys.exit(0)
env = dict(os.environ, HOME=work)  # no personal Wireshark settings or plugins
wireshark = cpu([tshark, "-X", "lua_script:tools/wireshark/canbox.lua", "-r", pcapng, "-T", "fields",
                 "-e", "canbox.Vehicle.Speed"], env=env)
print(f"{'tshark + dissector':<18} {per_frame(wireshark):7.2f} us a frame")
for label, seconds in rows[:2]:
    print(f"{label}: {wireshark / seconds:.1f}x faster than tshark with the dissector (target: 10x)")
PY
