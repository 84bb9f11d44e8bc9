#!/usr/bin/env python3
"""Draws Rankora's icon for the freedesktop hicolor theme: the design of the
window's icon and of the Windows .ico (packaging/windows/make_icon.py), as
PNG files at the sizes the package installs. The scalable icon,
icons/rankora.svg, is the same design drawn by hand.

    packaging/linux/make_icons.py packaging/linux/icons
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "windows"))
import make_icon  # noqa: E402  (the one drawing of the design)

SIZES = (32, 48, 64, 128, 256)


def main(folder):
    for size in SIZES:
        with open(os.path.join(folder, f"rankora-{size}.png"), "wb") as file:
            file.write(make_icon.png(size))


if __name__ == "__main__":
    main(sys.argv[1])
