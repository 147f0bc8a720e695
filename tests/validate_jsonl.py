#!/usr/bin/env python3
"""Runs the canservice tool's JSON Lines output on every capture in the test data through the
documented schema: usage: validate_jsonl.py TOOL DATA_DIR SCHEMA. Exits 77 (skipped) without the
jsonschema module."""
import glob
import json
import os
import subprocess
import sys

try:
    import jsonschema
except ImportError:
    print("SKIP: python3-jsonschema is not installed")
    sys.exit(77)

tool, data_dir, schema_path = sys.argv[1:4]
with open(schema_path, encoding="utf-8") as f:
    validator = jsonschema.Draft202012Validator(json.load(f), format_checker=jsonschema.FormatChecker())

checked = 0
for capture in sorted(glob.glob(os.path.join(data_dir, "*.cap"))):
    run = subprocess.run([tool, "replay", "--json", "--frames", capture],
                         capture_output=True, text=True, timeout=60)
    if run.returncode != 0:
        continue  # a capture that is malformed on purpose
    lines = run.stdout.splitlines()
    assert json.loads(lines[0])["type"] == "header", capture
    for number, line in enumerate(lines, 1):
        record = json.loads(line)
        assert next(iter(record)) == "type", f"{capture}:{number}: type is not first"
        errors = sorted(validator.iter_errors(record), key=str)
        if errors:
            sys.exit(f"{capture}:{number}: {line}\n  {errors[0].message}")
        checked += 1
if checked < 20:
    sys.exit(f"only {checked} records checked")
print(f"{checked} records valid")
