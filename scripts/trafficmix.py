# The traffic of a running car as the line-cost scripts send it: speed and rotation most, then
# climate, radar, doors, keys, trip; message(n) is the n-th frame, the same in every run. LineFeed
# writes it into a pseudo-terminal at the line's full rate.
import os
import time


def frame(ident, data):
    body = bytes([ident, len(data)]) + bytes(data)
    return b"\x2e" + body + bytes([(~sum(body)) & 0xFF])


def message(n):
    k = n % 20
    if k < 6: return frame(0xF6, [(n * 16) & 0xFF, (n >> 4) & 0x3F, 0])
    if k < 12: return frame(0x41, [3, (800 + n % 3000) >> 8, (800 + n % 3000) & 0xFF])
    if k < 14: return frame(0x29, [0x48, 0x23, 40 + n % 8, 0, 8, 0, 41, n % 9])
    if k < 16: return frame(0x22, [2, 8, n % 32, (n // 3) % 32])
    if k == 16: return frame(0x23, [1, 2, n % 32, 0, 0, 0])
    if k == 17: return frame(0x24, [0x44 if n % 2 else 0, 0, 0, 0, 0])
    if k == 18: return frame(0x20, [5, n % 2])
    return frame(0x50, [0x30, 0, n % 256, 0, 0, 0])


class LineFeed:
    """The mix at the line's full rate (38400 baud: 3840 bytes a second, in steps of 10 ms) into
    a pseudo-terminal's master, which is non-blocking; the acknowledgements (FF) that come back
    are counted in acked. n carries on from one feed to the next, so the traffic does too."""

    def __init__(self, master):
        self.master, self.n, self.budget, self.acked = master, 0, 0.0, 0

    def drain(self):
        try:
            self.acked += os.read(self.master, 65536).count(b"\xff")
        except BlockingIOError:
            pass

    def feed(self, duration):
        """Writes for duration seconds: the frames sent."""
        sent, start = 0, time.monotonic()
        while time.monotonic() - start < duration:
            self.budget += 3840 * 0.01
            out = b""
            while self.budget > 0:
                m = message(self.n)
                self.n += 1
                out += m
                self.budget -= len(m)
                sent += 1
            os.write(self.master, out)
            time.sleep(0.01)
            self.drain()
        return sent
