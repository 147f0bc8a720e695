#!/usr/bin/env python3
"""replay --csv read back by Python's csv module and checked against replay --json's events on
every capture; RFC 4180 quoting on a crafted capture; the usage errors; replay --table's snapshots
against the same events and stats --json; the changed payload bytes and silent rows marked, in
the log and on a terminal; the live table under a real pseudo-terminal: the
alternate screen entered, redrawn at a new size, given back on Ctrl-Z and taken again, left on Ctrl-C. Usage: views_test.py TOOL DATA_DIR"""
import csv
import fcntl
import glob
import io
import json
import os
import pty
import re
import select
import signal
import struct
import subprocess
import sys
import tempfile
import termios

tool, data_dir = sys.argv[1:3]
EVENT_NAMES = {"CanBox.Link", "CanBox.Line", "CanBox.Key", "CanBox.Notification"}


def run(*args):
    done = subprocess.run([tool, *args], capture_output=True, timeout=60)
    return done.returncode, done.stdout.decode("utf-8"), done.stderr.decode("utf-8")


def check(condition, message):
    if not condition:
        sys.exit("FAIL: " + message)


catalogue = [json.loads(line) for line in run("signals", "--json")[1].splitlines()]
vehicle = [s for s in catalogue if s["name"] not in EVENT_NAMES]
unit_of = {s["name"]: s["unit"] for s in vehicle}


def events(capture):
    """Every vehicle value's change from replay --json: [(time, name, value, unit)]."""
    code, out, _ = run("replay", "--json", capture)
    check(code == 0, f"replay --json {capture} exits {code}")
    records = [json.loads(line) for line in out.splitlines()]
    return [(r["time"], r["name"], r["value"], r.get("unit", "")) for r in records
            if r["type"] == "event" and r["name"] in unit_of]


def matches(cell, value, unit, column_unit):
    """A CSV cell against a JSON event's value: empty for null, true/false, texts as they are,
    numbers by value with the unit after them where it is not the column's."""
    if value is None:
        return cell == ""
    if isinstance(value, bool):
        return cell == ("true" if value else "false")
    if isinstance(value, str):
        return cell == value
    number, _, suffix = cell.partition(" ")
    return float(number) == value and suffix == (unit if unit != column_unit else "")


def read_csv(text):
    check(text.endswith("\r\n"), "records end with CR LF")
    return list(csv.reader(io.StringIO(text, newline="")))


def check_csv(capture, names=None):
    """The CSV's rows are the events' instants, and every cell the last value by then."""
    changes = events(capture)
    args = ["replay", "--csv", capture] + (["--signals", ",".join(names)] if names else [])
    code, out, err = run(*args)
    check(code == 0 and err == "", f"{' '.join(args)}: exit {code}, {err}")
    rows = read_csv(out)
    names = names or [s["name"] for s in vehicle]
    # A value whose unit the box chooses: its number, then its unit in a column of its own.
    columns = {n: [n, f"{n} unit"] if unit_of[n] == "varies" else [f"{n} ({unit_of[n]})" if unit_of[n] else n]
               for n in names}
    header = ["time (s)"] + [c for n in names for c in columns[n]]
    check(rows[0] == header, f"{capture}: header {rows[0][:4]}... is not {header[:4]}...")
    chosen = [c for c in changes if c[1] in names]
    instants = sorted({c[0] for c in chosen})
    times = [float(r[0]) for r in rows[1:]]
    check(times == instants, f"{capture}: rows at {times}, changes at {instants}")
    state = {n: (None, "") for n in names}
    for row in rows[1:]:
        check(len(row) == len(header), f"{capture}: a row of {len(row)} fields")
        for time, name, value, unit in chosen:
            if time <= float(row[0]):
                state[name] = (value, unit)
        cells = iter(row[1:])
        for name in names:
            value, unit = state[name]
            cell = next(cells)
            if unit_of[name] == "varies":
                unit_cell = next(cells)
                ok = unit_cell == (unit if value is not None else "") and matches(cell, value, unit, unit)
            else:
                ok = matches(cell, value, unit, unit_of[name])
            check(ok, f"{capture} at {row[0]}: {name} is {cell!r}, replay --json says {value!r} {unit}")
    return len(rows) - 1


def frame(identifier, data):
    body = bytes([identifier, len(data)]) + data
    return bytes([0x2E]) + body + bytes([~sum(body) & 0xFF])


checked = 0
for capture in sorted(glob.glob(os.path.join(data_dir, "*.cap"))):
    if "malformed" not in capture:
        checked += check_csv(capture)
check(checked > 20, f"only {checked} rows checked")
check_csv(os.path.join(data_dir, "drive.cap"), ["CanBox.Version", "Vehicle.Speed",
                                                 "Vehicle.Cabin.Door.Row1.DriverSide.IsOpen"])
# For a spreadsheet: the same with a byte-order mark first.
plain, marked = (run("replay", "--csv", *bom, os.path.join(data_dir, "recorded.cap"))[1] for bom in ([], ["--bom"]))
check(marked == "\ufeff" + plain and "16.001," in plain, f"--bom gives {marked[:40]!r}")

# Version texts that need quoting, each as RFC 4180 writes it and as a CSV reader reads it back.
QUOTING = [("CB 3,1", '"CB 3,1"'), ('say "hi"', '"say ""hi"""'), ('a,"b"', '"a,""b"""'),
           ("x\ry", '"x\ry"'), ("x\ny", '"x\ny"'), ('"', '""""'), ("\x1b[2J", "\x1b[2J"), ("plain 1.0", "plain 1.0")]
with tempfile.TemporaryDirectory() as folder:
    crafted = os.path.join(folder, "versions.cap")
    with open(crafted, "w", encoding="ascii") as f:
        for second, (text, _) in enumerate(QUOTING):
            f.write(f"{second}.000 {frame(0x30, text.encode()).hex(' ')}\n")
    check_csv(crafted)
    out = run("replay", "--csv", "--signals", "CanBox.Version", crafted)[1]
    expected = "".join(f"{i}.000,{written}\r\n" for i, (_, written) in enumerate(QUOTING))
    check(out == "time (s),CanBox.Version\r\n" + expected, f"quoted as {out!r}")
    check([r[1] for r in read_csv(out)[1:]] == [text for text, _ in QUOTING], "read back")
    # The table shows the box's control characters as escapes, never as themselves.
    with open(crafted, "w", encoding="ascii") as f:
        f.write(f"0.500 {frame(0x30, b'x' + bytes([13, 10]) + b'y').hex(' ')}\n"
                f"1.500 {frame(0x30, bytes([27]) + b'[2J').hex(' ')}\n")
    out = run("replay", "--table", "--signals", "CanBox.Version", crafted)[1]
    check(not any(c in out for c in "\x1b\r") and '"x\\x0d\\x0ay"' in out and '"\\x1b[2J"' in out,
          f"the table shows {out!r}")

drive = os.path.join(data_dir, "drive.cap")
for args, says in [(["--csv", "--signals", "Vehicle.Speed,Nope"], '"Nope"'),
                   (["--csv", "--signals", "CanBox.Link"], '"CanBox.Link"'),
                   (["--csv", "--json"], "--json"), (["--csv", "--frames"], "--frames"),
                   (["--csv", "--changes"], "--changes"), (["--table", "--csv"], "--csv"),
                   (["--table", "--json"], "--json"), (["--signals", "Vehicle.Speed"], "--csv or --table")]:
    code, out, err = run("replay", *args, drive)
    check(code == 2 and out == "" and says in err, f"replay {' '.join(args)}: exit {code}, {err!r}")
print(f"csv: {checked} rows checked against the events")


def reading_text(value, unit):
    """A value as the table shows it: as the text printer does, "-" for no reading."""
    if value is None:
        return "-"
    text = ("true" if value else "false") if isinstance(value, bool) else \
        f'"{value}"' if isinstance(value, str) else f"{value:.12g}"
    return f"{text} {unit}" if unit else text


def check_table(capture):
    """Away from a terminal: a snapshot each second the box sent something, and the last at the
    end, whose values, ages and per-message counts are replay's and stats' own."""
    code, out, err = run("replay", "--table", capture)
    check(code == 0 and "\x1b" not in out, f"replay --table {capture} (not a terminal): exit {code}, {err}")
    snapshots = out.split(f"{capture}  at ")[1:]
    times = [float(s.split(" ", 1)[0]) for s in snapshots]
    frames = [json.loads(line) for line in run("replay", "--json", "--frames", capture)[1].splitlines()]
    inbound = [f["time"] for f in frames if f["type"] == "frame" and f["direction"] == "in"]
    # A second that ends on the instant of a chunk may show it or leave it to the next.
    busy = {int(t) + 1 for t in inbound if t != int(t)}
    maybe = busy | {int(t) for t in inbound if t == int(t)} | {int(t) + 1 for t in inbound if t == int(t)}
    check({b for b in busy if b < times[-1]} <= set(times[:-1]) <= maybe and times == sorted(times),
          f"{capture}: snapshots at {times}, the box sent at {inbound}")
    last, end = snapshots[-1].splitlines(), times[-1]
    state = {}
    for time, name, value, unit in events(capture):
        state[name] = (time, value, unit)
    start = last.index(next(line for line in last if line.startswith("value ")))
    reading_at, age_at = last[start].index("reading"), len(last[start]) - 7
    rows = {line[:reading_at].strip(): line for line in last[start + 1:] if line}
    check(list(rows) == [s["name"] for s in vehicle], f"{capture}: the table's values {list(rows)[:3]}...")
    for name, line in rows.items():
        time, value, unit = state.get(name, (None, None, ""))
        age = "-" if time is None else f"{end - time:.1f}"
        shown = (line[reading_at:age_at].strip(), line[age_at:].strip())
        check(shown == (reading_text(value, unit), age), f"{capture}: {name} shows {shown}, "
                                                         f"replay says {value!r} {unit} at {time}")
    stats = json.loads(run("stats", "--json", capture)[1])
    # The counts stand before the payload, which its first byte's mark may touch.
    counts_end = next(line for line in last if line.startswith("id ")).index("payload") - 1
    messages = {line.split()[0]: line[:counts_end].split()[-4:] for line in last[1:start] if line[:2] in ("0x", "al", "- ")}
    window = min(5.0, end - inbound[0])
    expected = {"all": [stats["framesAccepted"], stats["checksumErrors"], stats["cutFrames"]]}
    for m in stats["messages"]:
        key = "-" if m["id"] is None else f"0x{m['id']:02x}"
        expected[key] = [m["frames"], m["checksumErrors"], m["cutFrames"]]
        rate = sum(1 for f in frames if f["type"] == "frame" and f["direction"] == "in" and f["kind"] == "frame"
                   and f.get("id") == m["id"] and f["time"] > end - 5) / window
        check(abs(float(messages[key][0]) - rate) < 0.051, f"{capture}: {key} at {messages[key][0]}/s, not {rate}")
    shown = {key: [int(n) for n in counts[1:]] for key, counts in messages.items()}
    check(shown == expected, f"{capture}: the table counts {shown}, stats {expected}")
    # The busiest message first, and the link's health as stats counts it.
    rates = [float(line[:counts_end].split()[-4]) for line in last[1:start] if line[:2] in ("0x", "- ")]
    check(rates == sorted(rates, reverse=True), f"{capture}: messages in the order of their rates {rates}")
    health = next(line for line in last if line.startswith("frames "))
    counted = [int(word) for word in health.split() if word.isdigit()]
    check(counted == [stats[k] for k in ("framesAccepted", "checksumErrors", "cutFrames", "noiseBytes",
                                         "receiveTimeouts", "linkLosses")] + [0],
          f"{capture}: the table's health {health!r}, stats {stats}")


for name in ("drive.cap", "cut.cap", "recorded.cap"):
    check_table(os.path.join(data_dir, name))
# The rate counts a message's frames of the last five seconds: one exactly five seconds old is out,
# one a millisecond younger in, also right after a frame that let older ones go; none at the first
# frame's instant, with nothing to divide by.
with tempfile.TemporaryDirectory() as folder:
    crafted = os.path.join(folder, "rates.cap")
    with open(crafted, "w", encoding="ascii") as f:
        f.writelines(f"{t:.3f} {frame(0xF6, bytes([0x20, 0x03, 0])).hex(' ')}\n" for t in (2, 2.001, 6.5, 7.001, 12))
    snapshots = run("replay", "--table", crafted)[1].split(f"{crafted}  at ")[1:]
    rates = [(s.split()[0], next(line.split()[2] for line in s.splitlines() if line.startswith("0xf6")))
             for s in snapshots]
    check(rates == [("2.000", "-"), ("3.000", "2.0"), ("7.000", "0.4"), ("8.000", "0.4"), ("12.000", "0.4"),
                    ("12.500", "0.2")], f"rates at the snapshots: {rates}")

# What changed and what went quiet, at the end (3.100 s, half a second after the last chunk): 0x71
# silent for exactly 3 s, 0x72 for 2.999 s; 0x73's middle byte changed at 1.1 s and stayed; 0x74's
# second byte changed and a third and fourth came at 2.6 s; 0x75's byte changed 0.999 s before the end, 0x76's
# exactly 1 s before. The speed changed at 2.6 s, the engine speed last at 0.1 s; no version came.
CHANGES = [(0.1, 0x71, "aa"), (0.1, 0xF6, "400100"), (0.1, 0x41, "030bb8"), (0.101, 0x72, "bb"),
           (0.6, 0x73, "102030"), (1.1, 0x73, "102130"), (1.5, 0x76, "07"), (2.1, 0x74, "0102"), (2.1, 0x75, "05"),
           (2.1, 0x76, "08"), (2.101, 0x75, "06"), (2.6, 0x73, "102130"), (2.6, 0x74, "01070900"), (2.6, 0xF6, "e00100")]
# By row: (dimmed, the bytes shown as changed)
MARKED = {"0x71": (True, []), "0x72": (False, []), "0x73": (False, []), "0x74": (False, ["07", "09", "00"]),
          "0x75": (False, ["06"]), "0x76": (False, []), "0xf6": (False, ["e0"]), "0x41": (True, []),
          "Vehicle.Speed": (False, []), "Vehicle.Powertrain.CombustionEngine.Speed": (True, []),
          "CanBox.Version": (True, [])}
SIGNALS = ["--signals", "Vehicle.Speed,Vehicle.Powertrain.CombustionEngine.Speed,CanBox.Version"]
quiet_dir = tempfile.TemporaryDirectory()
quiet = os.path.join(quiet_dir.name, "quiet.cap")
with open(quiet, "w", encoding="ascii") as f:
    f.writelines(f"{t:.3f} {frame(i, bytes.fromhex(data)).hex(' ')}\n" for t, i, data in CHANGES)
# The log has no attributes: a changed byte has a '*' before it, as long as it counts as changed.
snapshots = run("replay", "--table", *SIGNALS, quiet)[1].split(f"{quiet}  at ")[1:]
payloads = {s.split()[0]: {line[:4]: line[72:] for line in s.splitlines() if line[:4] in ("0x73", "0x74", "0x75", "0x76")}
            for s in snapshots}
check(payloads == {"1.000": {"0x73": " 10 20 30"}, "2.000": {"0x73": " 10*21 30", "0x76": " 07"},
                   "3.000": {"0x73": " 10 21 30", "0x74": " 01*07*09*00", "0x75": "*06", "0x76": "*08"},
                   "3.100": {"0x73": " 10 21 30", "0x74": " 01*07*09*00", "0x75": "*06", "0x76": " 08"}}
      and "\x1b" not in "".join(snapshots), f"the log's payloads: {payloads}")
print("table: snapshots checked against the events and stats; changed bytes marked in the log")


def set_size(fd, columns, rows):
    fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", rows, columns, 0, 0))


def on_terminal(args, columns=80, rows=24):
    """The tool on a new pseudo-terminal as its controlling terminal, as a shell starts it."""
    master, slave = os.openpty()
    set_size(slave, columns, rows)

    def controlling():
        os.setsid()
        fcntl.ioctl(0, termios.TIOCSCTTY, 0)
    child = subprocess.Popen([tool, *args], stdin=slave, stdout=slave, stderr=slave, preexec_fn=controlling,
                             env=dict(os.environ, TERM="xterm"))
    os.close(slave)
    return child, master


def read_until(master, seen, done, what):
    """Reads until done(seen) holds; bounded, so that a tool that never draws fails the test."""
    for _ in range(400):
        if done(seen):
            return seen
        ready, _, _ = select.select([master], [], [], 0.1)
        try:
            chunk = os.read(master, 65536) if ready else b""
        except OSError:  # the terminal's other side is closed: the tool has ended
            chunk = None
        if chunk is None or (ready and not chunk):
            break
        seen += chunk
    check(done(seen), f"the terminal never showed {what}: {seen[-400:]!r}")
    return seen


SGR = re.compile(r"\x1b\[[0-9;]*m")


def visible(line):
    """A line as it shows: without its attributes."""
    return SGR.sub("", line)


def read_rest(master):
    """What the terminal still holds once the tool has ended; empty when nothing."""
    try:
        return os.read(master, 65536)
    except OSError:
        return b""


def screens(seen):
    """Each redraw in place: from the cursor's home to the clearing of the rest, line by line."""
    drawn = seen.split(b"\x1b[H")[1:]
    return [[line.replace(b"\x1b[K", b"").replace(b"\r", b"").decode() for line in d.split(b"\x1b[J")[0].split(b"\n")]
            for d in drawn if b"\x1b[J" in d]


ENTER, LEAVE, HIDE, SHOW = b"\x1b[?1049h", b"\x1b[?1049l", b"\x1b[?25l", b"\x1b[?25h"
# A 40-second capture at its own pace, ended by Ctrl-C once the panel is up: drawn in place at
# 80x24, again at 200x50 (the values beside the messages), and the terminal left as it was.
child, master = on_terminal(["replay", "--table", "--speed", "1", os.path.join(data_dir, "silence.cap")])
seen = read_until(master, b"", lambda s: ENTER in s and any("link up" in sc[0] for sc in screens(s)), "the panel")
check(seen.index(ENTER) < seen.index(HIDE) < seen.index(b"\x1b[H"), "the alternate screen first")
for screen in screens(seen):
    check(len(screen) <= 24 and all(len(visible(line)) <= 80 for line in screen), f"drawn beyond 80x24: {screen}")
set_size(master, 200, 50)
seen = read_until(master, seen, lambda s: any(any("reading" in line and "rate/s" in line for line in sc)
                                              for sc in screens(s)), "the panel at 200x50")
check(max(len(line) for line in screens(seen)[-1]) > 80, "a wider panel")
set_size(master, 50, 12)
seen = read_until(master, seen, lambda s: screens(s)[-1][1].endswith("~"), "the panel at 50x12")
check(all(len(visible(line)) <= 50 for line in screens(seen)[-1]), f"drawn beyond 50 columns: {screens(seen)[-1]}")
# Ctrl-Z gives the screen back before the tool stops; continued, it takes the panel up again.
os.write(master, b"\x1a")
mark = len(seen)
seen = read_until(master, seen, lambda s: s.rfind(LEAVE) > mark and s.rfind(SHOW) > mark, "the screen given back")
os.kill(child.pid, signal.SIGCONT)
seen = read_until(master, seen, lambda s: s.rfind(ENTER) > s.rfind(LEAVE) > mark and s.rfind(b"\x1b[J") > s.rfind(ENTER),
                  "the panel taken up again")
os.write(master, b"\x03")
seen = read_until(master, seen, lambda s: s.rfind(LEAVE) > s.rfind(ENTER) and b"CanBox.Version" in s[s.rfind(LEAVE):], "the end")
check(child.wait(timeout=30) == 130, f"Ctrl-C ends with 130, not {child.returncode}")
check(seen.rfind(SHOW) > seen.rfind(HIDE) and seen.rfind(LEAVE) > seen.rfind(b"\x1b[J"),
      "the cursor shown again and the alternate screen left, after the last redraw")
os.close(master)

# A replay that ends by itself leaves the terminal too, and prints the last table on it.
child, master = on_terminal(["replay", "--table", os.path.join(data_dir, "drive.cap")])
seen = read_until(master, b"", lambda s: b"Vehicle.Speed" in s[s.rfind(LEAVE):] and LEAVE in s, "the end")
check(child.wait(timeout=30) == 0 and seen.index(ENTER) < seen.rindex(LEAVE) and seen.rfind(SHOW) > seen.rfind(HIDE),
      f"drive.cap on a terminal: exit {child.returncode}")
os.close(master)

# On a terminal too small for every value, those that go are those that changed longest ago:
# each value shown changed at least as late as each one left out.
child, master = on_terminal(["replay", "--table", "--speed", "1", os.path.join(data_dir, "drive.cap")], 100, 12)
seen = read_until(master, b"", lambda s: LEAVE in s, "the end")
child.wait(timeout=30)
os.close(master)
small = [visible(line) for line in screens(seen[:seen.rindex(LEAVE)])[-1]]
at = float(re.search(r" at ([0-9.]+) s ", small[0]).group(1))
changed = {name: time for time, name, _, _ in events(os.path.join(data_dir, "drive.cap")) if time <= at}
start = next(i for i, line in enumerate(small) if line.startswith("value "))
shown = {line.split()[0] for line in small[start + 1:] if line and not line.startswith("...")}
left_out = set(changed) - shown
check(shown and left_out and shown <= set(changed)
      and min(changed[n] for n in shown) >= max(changed[n] for n in left_out)
      and f"... {len(left_out) + sum(1 for s in vehicle if s['name'] not in changed)} more" in small[-1],
      f"at {at} s on 100x12: {sorted(shown)} shown, {sorted(left_out)} left out: {small}")

# On a terminal the last table shows the same in attributes: silent rows dim, changed bytes in
# reverse video, each attribute ended on its line. 0x74's row is 84 columns as it shows, its
# attributes aside: 84 take it whole, 81 cut it in its third byte, between the sequences.
for columns in (84, 81):
    child, master = on_terminal(["replay", "--table", *SIGNALS, quiet], columns=columns)
    seen = read_until(master, b"", lambda s: LEAVE in s and b"CanBox.Version" in s[s.rfind(LEAVE):], "the end")
    check(child.wait(timeout=30) == 0, f"exit {child.returncode}")
    while chunk := read_rest(master):
        seen += chunk
    os.close(master)
    table = seen[seen.rindex(LEAVE) + len(LEAVE):].decode().replace("\r", "").splitlines()
    rows = {visible(line).split()[0]: line for line in table if visible(line).split()}
    shown = {key: (rows[key].startswith("\x1b[2m"), re.findall(r"\x1b\[7m([0-9a-f]{1,2})\x1b\[m", rows[key]))
             for key in MARKED}
    expected = dict(MARKED, **({"0x74": (False, ["07", "0"])} if columns == 81 else {}))
    check(shown == expected, f"{columns} columns: marked {shown}")
    check(all(re.fullmatch(r"(\x1b\[[27]m[^\x1b]*\x1b\[m|[^\x1b])*~?", line) and len(visible(line)) <= columns
              for line in table), f"{columns} columns: a sequence cut, left open or counted: {table}")
    check(visible(rows["0x74"]).endswith({84: " 01 07 09 00", 81: " 01 07 0~"}[columns])
          and len(visible(rows["0x74"])) == columns, f"0x74 at {columns} columns: {rows['0x74']!r}")
print("table: drawn in place on a pseudo-terminal, resized, left on Ctrl-C; changes and silence in attributes")
