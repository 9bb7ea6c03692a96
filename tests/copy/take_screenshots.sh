#!/usr/bin/env bash
# Takes docs/copy-dialog.png and docs/copy-finished.png of the copy dialog under Xvfb, in a Wine virtual desktop.
# Usage: tests/copy/take_screenshots.sh [BUILD_DIR]   (needs Xvfb and ImageMagick's import and convert)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
src_root=$(cd "$here/../.." && pwd)
build=$(readlink -f "${1:-$src_root/build}")
. "$src_root/scripts/wine-env"
"$src_root/scripts/test-prefix" "$build/wineprefix"

work="$build/shots"
rm -rf "$work"
mkdir -p "$work/drive" "$work/out"
# A prefix of its own that draws to the X server: the test prefix draws nothing.
cp -a "$build/wineprefix" "$work/prefix"
export WINEPREFIX="$work/prefix"
ln -sfn "$work/drive" "$WINEPREFIX/dosdevices/p:"
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f </dev/null >/dev/null 2>&1

# A distribution folder that looks like the client's.
python3 - "$work/dist" <<'PY'
import os, sys
root = sys.argv[1]
def put(rel, size):
    path = os.path.join(root, *rel.split("/"))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(b"\0" * size)
put("rover.exe", 3 << 20)
put("rover_setup.exe", 300 << 10)
for lang in ("de", "en", "fr", "it", "nl", "pl"):
    put("lang/%s.lng" % lang, 200 << 10)
for name in ("en_us", "en_gb", "de_de", "fr_fr"):
    put("speller/%s.tlx" % name, 400 << 10)
put("speller/userdic.tlx", 1 << 10)
for i in range(600):
    put("templates/message%03d.tpl" % i, 16 << 10)
PY

display=:77
Xvfb "$display" -screen 0 800x500x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true; rm -rf "$work/prefix"' EXIT
sleep 1
export DISPLAY=$display
DISPLAY=$display wine explorer /desktop=rover,800x500 "$build/tests/copy/copy_shot.exe" \
    "$(winepath -w "$work/dist")" 'P:\Rover' "$(winepath -w "$work/out")" </dev/null >/dev/null 2>&1 &
runner=$!

shoot() { # name
    for _ in $(seq 600); do [ -f "$work/out/$1.ready" ] && break; sleep 0.1; done
    [ -f "$work/out/$1.ready" ] || { echo "no $1 from the dialog" >&2; exit 1; }
    sleep 0.3
    read -r x y w h <"$work/out/$1.ready" || true
    import -display "$display" -window root "$work/out/$1-full.png"
    convert "$work/out/$1-full.png" -crop "$((w + 16))x$((h + 16))+$((x - 8))+$((y - 8))" +repage \
        "$src_root/docs/$1.png"
    touch "$work/out/$1.done"
}
mkdir -p "$src_root/docs"
shoot copy-dialog
shoot copy-finished
wait $runner || true
echo "wrote docs/copy-dialog.png and docs/copy-finished.png"
