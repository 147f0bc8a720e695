"""How the benchmark scripts measure, so that a figure comes out the same when someone else runs them.

- One program at a time, in alternating rounds: every round runs each row once, the order turned
  by one each round (A B C, B C A, C A B, ...), so that a machine that changes its speed over the
  minutes meets every row alike.
- At least 9 rounds; each row is given as min / median / max of its rounds.
- First a calibration: a program against itself, in the same alternation. Its ratio's median must
  lie within 0.9 to 1.1; after three tries outside, the machine is too noisy for figures and the
  script says so and exits 1, printing none.
- The last lines are one "figure NAME VALUE" line per figure, for programs to check.
- --load N runs N busy loops beside the measurement, to see how a figure holds on a busy machine.
"""

import statistics
import subprocess
import sys

MIN_ROUNDS = 9


class Load:
    """N busy loops for as long as the block runs."""

    def __init__(self, loops):
        self.loops = loops
        self.processes = []

    def __enter__(self):
        for _ in range(self.loops):
            self.processes.append(subprocess.Popen([sys.executable, "-c", "while True: pass"]))
        return self

    def __exit__(self, *exc):
        for p in self.processes:
            p.kill()
            p.wait()


def spread(values):
    """min / median / max, as text."""
    return min(values), statistics.median(values), max(values)


def alternate(rows, rounds, measure, progress=None):
    """Measures every row once a round, the order turned by one each round; {row: [values]}."""
    results = {row: [] for row in rows}
    for r in range(rounds):
        turn = r % len(rows)
        for row in rows[turn:] + rows[:turn]:
            results[row].append(measure(row))
        if progress:
            progress(r + 1, rounds)
    return results


def calibrate(label, measure, rounds, tries=3, low=0.9, high=1.1):
    """The program against itself: the median of the rounds' ratios, or exit 1 when the machine
    stays too noisy for figures."""
    for attempt in range(1, tries + 1):
        both = alternate(["first", "second"], rounds, lambda _row: measure())
        ratios = [a / b for a, b in zip(both["first"], both["second"]) if b > 0]
        lo, median, hi = spread(ratios)
        print(f"calibration {attempt} of {tries}: {label} against itself, ratio median {median:.3f} "
              f"(min {lo:.3f}, max {hi:.3f}; {low} to {high} needed)", flush=True)
        if low <= median <= high:
            return median
    print(f"The machine is too noisy for figures: {label} against itself stayed outside {low} to {high} "
          f"in {tries} tries. Run again on a quieter machine (no builds, no other benchmarks).", flush=True)
    sys.exit(1)


def figure(name, value, digits=2):
    print(f"figure {name} {value:.{digits}f}", flush=True)
