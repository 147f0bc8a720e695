# The traffic of a running car as the line-cost scripts send it: speed and rotation most, then
# climate, radar, doors, keys, trip; message(n) is the n-th frame, the same in every run.

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
