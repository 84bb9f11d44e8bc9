#!/usr/bin/python3
# xshot.py OUT.png [X Y W H]: the X display's root window, or a part of it, as a PNG.
import struct, sys, zlib
from Xlib import display, X
d = display.Display()
root = d.screen().root
g = root.get_geometry()
x, y, w, h = (0, 0, g.width, g.height) if len(sys.argv) < 6 else map(int, sys.argv[2:6])
img = root.get_image(x, y, w, h, X.ZPixmap, 0xffffffff)
data = img.data
rows = []
for r in range(h):
    row = bytearray(b'\x00')
    line = data[r * w * 4:(r + 1) * w * 4]
    for i in range(0, len(line), 4):
        b, gr, rd = line[i], line[i + 1], line[i + 2]
        row += bytes((rd, gr, b))
    rows.append(bytes(row))
raw = b''.join(rows)
def chunk(t, c):
    return struct.pack('>I', len(c)) + t + c + struct.pack('>I', zlib.crc32(t + c) & 0xffffffff)
png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0)) + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')
open(sys.argv[1], 'wb').write(png)
