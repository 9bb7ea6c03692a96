#!/usr/bin/env bash
# The main job: installs what is missing, builds the setup, prepares a sample distribution
# folder and a simulated removable drive, and starts the setup under Wine. With a display it
# runs there; without one it runs under Xvfb, drives the setup through a whole installation
# and saves screenshots in build/demo/ (build64/demo/ where 32-bit programs cannot run).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
scripts/build
out=build
if ! scripts/check-wine; then
    echo "The demo therefore shows the setup built for x86_64 from the same sources, under 64-bit Wine." >&2
    scripts/build x86_64
    out=build64
fi

demo=$top/$out/demo
dist=$demo/dist
stick=$demo/stick
export WINEPREFIX=$demo/prefix
. scripts/wine-env

# The sample distribution: the setup next to the client's files.
rm -rf "$dist"
mkdir -p "$dist/speller" "$dist/themes/classic" "$dist/docs"
cp "$out/rover_setup.exe" "$dist/"
cp "$out/standin/rover.exe" "$dist/rover.exe"
printf 'Kestrel Rover, portable edition.\r\n' >"$dist/readme.txt"
printf 'kestrel\r\nrover\r\n' >"$dist/speller/userdic.tlx"
printf 'en_US\r\n' >"$dist/speller/dictionary.cfg"
head -c 300000 /dev/urandom >"$dist/themes/classic/theme.dat"
head -c 20000000 /dev/urandom >"$dist/docs/manual.dat"
# Enough small files that the copy stays on screen for a moment.
mkdir -p "$dist/help"
for i in $(seq 1 400); do
    printf 'Help page %s of Kestrel Rover.\r\n' "$i" >"$dist/help/page$i.htm"
done
printf '[settings]\r\nportable=1\r\n' >"$dist/rover.ini"

# The simulated removable drive: a folder mapped to R: with a label.
rm -rf "$stick"
mkdir -p "$stick"
printf 'ROVER STICK\n' >"$stick/.windows-label"

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i </dev/null >/dev/null 2>&1
    wineserver -w
fi
# With a display the window manager manages the setup's windows; headless, a
# Wine virtual desktop draws their frames and nothing waits for a manager.
headless=yes
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    headless=no
fi
reg=$(mktemp --suffix=.reg)
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\n"r:"="floppy"\n\n' >"$reg"
if [ $headless = yes ]; then
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="N"\n\n' >>"$reg"
else
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="Y"\n\n' >>"$reg"
fi
printf '[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\n"ShowCrashDialog"=dword:00000000\n' >>"$reg"
wine regedit /S "$(winepath -w "$reg")" </dev/null >/dev/null 2>&1
rm -f "$reg"
ln -sfn "$stick" "$WINEPREFIX/dosdevices/r:"
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true

setup=$(winepath -w "$dist/rover_setup.exe")
if [ $headless = no ]; then
    echo "Starting the setup on $DISPLAY (the removable drive is R:)."
    wine "$setup"
    echo "The setup ended. The drive's folder is $stick"
    exit 0
fi

echo "No display: running under Xvfb."
exec xvfb-run -a -s "-screen 0 1024x768x24" scripts/demo-headless "$setup" "$demo"
