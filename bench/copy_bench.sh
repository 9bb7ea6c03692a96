#!/usr/bin/env bash
# Copy benchmark: the setup's copy against a bare CopyFileW loop and native cp -r, plus the longest message-loop gap.
# Usage: bench/copy_bench.sh [BUILD_DIR]   (build first; runs in the build tree's Wine prefix)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
src_root=$(dirname "$here")
build=$(readlink -f "${1:-$src_root/build}")
export WINEPREFIX="$build/wineprefix"
. "$src_root/scripts/wine-env"
"$src_root/scripts/test-prefix" "$WINEPREFIX"
bench="$build/bench/copy_bench.exe"
[ -f "$bench" ] || { echo "build $bench first" >&2; exit 2; }

work="$build/bench-data"
trees="$work/trees"
drive="$work/drive"
mkdir -p "$trees" "$drive"
# P: is the benchmark's destination drive, so that autorun.inf lands on it.
ln -sfn "$drive" "$WINEPREFIX/dosdevices/p:"

make_trees() {
    python3 - "$trees" <<'PY'
import os, sys
root = sys.argv[1]
def tree(name, count, size, per_folder):
    base = os.path.join(root, name)
    if os.path.isdir(base):
        return
    tmp = base + ".part"
    for i in range(count):
        folder = os.path.join(tmp, "d%03d" % (i // per_folder))
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "f%05d.bin" % i), "wb") as f:
            left = size
            while left:
                n = min(left, 1 << 20)
                f.write(os.urandom(n))
                left -= n
    os.rename(tmp, base)
tree("small-2000x4KiB", 2000, 4096, 100)
tree("medium-20x8MiB", 20, 8 << 20, 20)
tree("large-1x256MiB", 1, 256 << 20, 1)
os.makedirs(os.path.join(root, "empty"), exist_ok=True)
PY
}

clear_drive() { rm -rf "${drive:?}"/* "$drive"/autorun.inf; }
win() { winepath -w "$1"; }

wineserver -p </dev/null >/dev/null 2>&1 || true
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
make_trees

echo "machine: $(nproc) cores; $(wine --version 2>/dev/null)"
# The dialog's fixed cost (window, scan, autorun file, shell call) on a source with nothing to copy.
fixed=999999
for round in 1 2 3; do
    clear_drive
    out=$(wine "$bench" setup "$(win "$trees/empty")" 'P:\Rover')
    s=$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$out")
    fixed=$(python3 -c "print(min($fixed, $s))")
done
echo "fixed cost of the dialog with nothing to copy: $fixed s"
printf '%-18s %8s %8s %8s %8s %10s %10s %8s %14s\n' tree setup_s copy_s bare_s cp_s setup/bare copy/bare copy/cp longest_gap_ms
for name in small-2000x4KiB medium-20x8MiB large-1x256MiB; do
    best_setup=999999; best_bare=999999; best_cp=999999; gap=0
    for round in 1 2 3 4; do
        # Alternate the order, so that neither side always meets a warmer cache.
        for mode in $([ $((round % 2)) = 1 ] && echo bare setup || echo setup bare); do
            clear_drive
            out=$(wine "$bench" "$mode" "$(win "$trees/$name")" 'P:\Rover')
            s=$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$out")
            if [ "$mode" = bare ]; then
                best_bare=$(python3 -c "print(min($best_bare, $s))")
            else
                g=$(sed -n 's/.*longest_gap_ms=\([0-9.]*\).*/\1/p' <<<"$out")
                best_setup=$(python3 -c "print(min($best_setup, $s))")
                gap=$(python3 -c "print(max($gap, $g))")
            fi
        done
        clear_drive
        t0=$(date +%s.%N)
        cp -r "$trees/$name" "$drive/Rover"
        t1=$(date +%s.%N)
        best_cp=$(python3 -c "print(min($best_cp, $t1 - $t0))")
    done
    python3 -c "c = $best_setup - $fixed; print('%-18s %8.3f %8.3f %8.3f %8.3f %10.2f %10.2f %8.1f %14.1f' % ('$name', $best_setup, c, $best_bare, $best_cp, $best_setup / $best_bare, c / $best_bare, c / $best_cp, $gap))"
done
clear_drive
echo "times are the best of 4 runs (alternating which goes first); setup_s is the whole dialog (scan, folders, copy, autorun, shell call),"
echo "copy_s the same less the fixed cost; bare_s a CopyFileW loop over the same list into made folders;"
echo "longest_gap_ms is the worst gap between two 5 ms ticks of the dialog's message loop over all runs."
