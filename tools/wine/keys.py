#!/usr/bin/python3
# keys.py KEY...: presses each X key name in turn on the display, as the user
# would; "Alt+q" holds Alt for the key.
import sys, time
from Xlib import display, X, XK
from Xlib.ext import xtest
d = display.Display()
def code(name):
    return d.keysym_to_keycode(XK.string_to_keysym(name))
for key in sys.argv[1:]:
    parts = key.split('+')
    held = [code('Alt_L') if p == 'Alt' else code(p) for p in parts[:-1]]
    for c in held:
        xtest.fake_input(d, X.KeyPress, c)
    xtest.fake_input(d, X.KeyPress, code(parts[-1]))
    xtest.fake_input(d, X.KeyRelease, code(parts[-1]))
    for c in reversed(held):
        xtest.fake_input(d, X.KeyRelease, c)
    d.sync()
    time.sleep(0.5)
