#!/usr/bin/env bash
# Saves a picture of the Win32 Rankora window as Wine shows it, framed by
# Wine's own virtual desktop, at a given DPI:
#   tools/wine/window_screenshot.sh EXE DPI OUT.png [KEY...]
# Each KEY is pressed before the picture is taken (keys.py names them:
# "Alt+q" "s" opens 查询 → 设置).
# EXE is a rankora.exe that this machine's Wine runs (on a kernel without
# 32-bit programs, the windows-x64 build). Needs Xvfb, wine64 and python3-xlib.
set -euo pipefail
exe=$(realpath "$1")
dpi=$2
out=$(realpath -m "$3")
here=$(dirname "$(realpath "$0")")

work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINELOADER=/usr/lib/wine/wine64
Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
trap 'wineserver -k >/dev/null 2>&1 || true; kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n 1 "$work/display")"

"$WINELOADER" wineboot -i >/dev/null 2>&1
# The Chinese captions need a font that has them; a Chinese Windows has its own.
"$WINELOADER" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v Tahoma \
  /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1
"$WINELOADER" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
wineserver -w
# A desktop of Wine's own draws the window's frame and caption.
width=$((560 * dpi / 96)) height=$((540 * dpi / 96))
"$WINELOADER" explorer "/desktop=rankora,${width}x${height}" "$exe" >/dev/null 2>&1 &
sleep 6
if [ $# -gt 3 ]; then
  /usr/bin/python3 "$here/keys.py" "${@:4}"
  sleep 2
fi
/usr/bin/python3 "$here/xshot.py" "$out" 0 0 "$width" "$height"
echo "$out"
