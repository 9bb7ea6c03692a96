#!/usr/bin/env bash
# Copy benchmark: the setup's copy dialog against plain copy loops, and how long it takes to answer.
#
# Usage: bench/copy_bench.sh [BUILD_DIR]      (build first; runs in the build tree's Wine prefix;
#                                             the default is build/, or build64/ where 32-bit
#                                             programs cannot run)
#   BENCH_TREES   trees to run, any of: small medium large real   (default: all four)
#   BENCH_ROUNDS  timing rounds per tree, the best of which is kept  (default: 5)
#   BENCH_PROBES  separate runs per tree that measure the longest answer  (default: 3)
#
# The trees are laid once in BUILD_DIR/bench-data/trees and kept for later runs:
#   small   2,000 files of 4 KiB in 20 folders
#   medium  20 files of 32 MiB
#   large   1 file of 1 GiB
#   real    the system's C headers (/usr/include): links followed and copied as files, names
#           that differ only in case reduced to one (a Windows drive holds only one of them)
# A tree is skipped with a message where its source is missing or the disk lacks room for it
# and its copy. The copies go to BUILD_DIR/bench-data/drive, mapped as drive P:.
#
# For each tree it prints, from alternating runs (best of BENCH_ROUNDS):
#   setup/bare     the whole copy dialog (copy_bench setup) against a bare loop that lists the
#                  tree, makes its folders and calls CopyFileW for each file
#   setup/1thread  the same against a one-thread loop that shows each file in a label, checks
#                  its folder, moves a bar and runs the pending messages after each file
#   answer_ms      the longest time the dialog took to answer a WM_NULL that another process
#                  sent every 5 ms, from the moment it showed until it closed (worst of
#                  BENCH_PROBES runs; these runs are not timed, since the probing slows the copy)
# The timing runs send the dialog nothing.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
src_root=$(dirname "$here")
. "$src_root/scripts/wine-env"
# Where this machine runs no 32-bit programs, the x86_64 build is the one that runs.
default_build=$src_root/build
[ "$ROVER_WINE_ARCH" = win64 ] && default_build=$src_root/build64
build=$(readlink -f "${1:-$default_build}")
export WINEPREFIX="$build/wineprefix"
"$src_root/scripts/test-prefix" "$WINEPREFIX"
bench="$build/bench/copy_bench.exe"
[ -f "$bench" ] || { echo "build $bench first" >&2; exit 2; }
trees_wanted=${BENCH_TREES:-small medium large real}
rounds=${BENCH_ROUNDS:-5}
probes=${BENCH_PROBES:-3}
caption='Installing Rover '

work="$build/bench-data"
trees="$work/trees"
drive="$work/drive"
mkdir -p "$trees" "$drive"
# P: is the benchmark's destination drive, so that autorun.inf lands on it.
ln -sfn "$drive" "$WINEPREFIX/dosdevices/p:"

# Lays one tree unless it is there; prints a reason and fails where it cannot.
lay_tree() {
    python3 - "$trees" "$1" <<'PY'
import os, shutil, sys
root, kind = sys.argv[1], sys.argv[2]
MiB = 1 << 20
synthetic = {  # name: (files, size, files per folder)
    "small": ("small-2000x4KiB", 2000, 4096, 100),
    "medium": ("medium-20x32MiB", 20, 32 * MiB, 20),
    "large": ("large-1x1GiB", 1, 1024 * MiB, 1),
}

def free_bytes():
    st = os.statvfs(root)
    return st.f_bavail * st.f_frsize

def room_for(name, size):
    # The tree itself, unless laid already, plus its copy on the drive, plus a margin.
    need = (0 if os.path.isdir(os.path.join(root, name)) else size) + size + 64 * MiB
    if free_bytes() < need:
        print("skipping %s: needs %d MiB free, %d MiB available"
              % (name, need // MiB, free_bytes() // MiB))
        sys.exit(3)

def real_tree(src, dst):
    """Copies src to dst, following links; of names that differ only in case, the first in
    sorted order stays. Returns (files, folders, bytes, names dropped)."""
    files = folders = size = dropped = 0
    seen_real = set()
    def walk(s, d, chain):
        nonlocal files, folders, size, dropped
        os.makedirs(d)
        folders += 1
        taken = set()
        for name in sorted(os.listdir(s)):
            path = os.path.join(s, name)
            if not os.path.exists(path):
                continue  # a dangling link
            if name.lower() in taken:
                dropped += 1
                continue
            if os.path.isdir(path):
                real = os.path.realpath(path)
                if real in chain:
                    continue  # a link back up the tree
                taken.add(name.lower())
                walk(path, os.path.join(d, name), chain | {real})
            elif os.path.isfile(path):
                taken.add(name.lower())
                shutil.copyfile(path, os.path.join(d, name))
                files += 1
                size += os.path.getsize(path)
    walk(src, dst, {os.path.realpath(src)})
    return files, folders, size, dropped

if kind == "real":
    name, src = "real-usr-include", "/usr/include"
    base = os.path.join(root, name)
    if not os.path.isdir(src):
        print("skipping %s: %s is missing" % (name, src))
        sys.exit(3)
    if not os.path.isdir(base):
        estimate = 0
        for d, _, names in os.walk(src, followlinks=True):
            for n in names:
                p = os.path.join(d, n)
                if os.path.isfile(p):
                    estimate += os.path.getsize(p)
        room_for(name, estimate)
        shutil.rmtree(base + ".part", ignore_errors=True)
        files, folders, size, dropped = real_tree(src, base + ".part")
        os.rename(base + ".part", base)
        print("laid %s: %d files in %d folders, %.1f MB; %d names that differ only in case left out"
              % (name, files, folders, size / 1e6, dropped), file=sys.stderr)
    else:
        size = sum(os.path.getsize(os.path.join(d, n)) for d, _, ns in os.walk(base) for n in ns)
        room_for(name, size)
    print(name)
    sys.exit(0)

name, count, size, per_folder = synthetic[kind]
room_for(name, count * size)
base = os.path.join(root, name)
if not os.path.isdir(base):
    tmp = base + ".part"
    shutil.rmtree(tmp, ignore_errors=True)
    for i in range(count):
        folder = os.path.join(tmp, "d%03d" % (i // per_folder))
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "f%05d.bin" % i), "wb") as f:
            left = size
            while left:
                n = min(left, MiB)
                f.write(os.urandom(n))
                left -= n
    os.rename(tmp, base)
print(name)
PY
}

clear_drive() { rm -rf "${drive:?}"/* "$drive"/autorun.inf; }
win() { winepath -w "$1"; }
seconds_of() { sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$1"; }
min() { python3 -c "print(min($1, $2))"; }

wineserver -p </dev/null >/dev/null 2>&1 || true
wine cmd /c exit </dev/null >/dev/null 2>&1 || true

echo "machine: $(nproc) cores; $(wine --version 2>/dev/null); rounds: $rounds timing, $probes probing"
# The dialog's fixed cost (window, scan, autorun file, shell call) on a source with nothing to copy.
mkdir -p "$trees/empty"
fixed=999999
for round in 1 2 3; do
    clear_drive
    fixed=$(min "$fixed" "$(seconds_of "$(wine "$bench" setup "$(win "$trees/empty")" 'P:\Rover')")")
done
echo "fixed cost of the dialog with nothing to copy: $fixed s"

printf '%-18s %8s %8s %9s %10s %14s %14s %10s\n' tree setup_s bare_s 1thread_s setup/bare \
    setup/1thread copy/bare answer_ms
for kind in $trees_wanted; do
    if ! out=$(lay_tree "$kind"); then
        echo "$out"
        continue
    fi
    name=$out
    source=$(win "$trees/$name")
    best_setup=999999; best_bare=999999; best_one=999999
    modes=(bare one-thread setup)
    for ((round = 0; round < rounds; round++)); do
        # Rotate the order, so that no mode always meets a warmer cache.
        for ((k = 0; k < 3; k++)); do
            mode=${modes[$(((round + k) % 3))]}
            clear_drive
            out=$(wine "$bench" "$mode" "$source" 'P:\Rover') || { echo "$name: $mode failed: $out"; continue 3; }
            s=$(seconds_of "$out")
            case $mode in
            bare) best_bare=$(min "$best_bare" "$s") ;;
            one-thread) best_one=$(min "$best_one" "$s") ;;
            setup) best_setup=$(min "$best_setup" "$s") ;;
            esac
        done
    done
    # The longest answer, in runs of their own.
    answers=""
    for ((round = 0; round < probes; round++)); do
        clear_drive
        probe_out=$(mktemp)
        wine "$bench" probe "$caption" 30000 >"$probe_out" &
        probe_pid=$!
        wine "$bench" setup "$source" 'P:\Rover' >/dev/null || echo "$name: setup failed while probed"
        wait "$probe_pid" || true
        a=$(sed -n 's/.*longest_ms=\([0-9.]*\).*/\1/p' "$probe_out")
        [ -n "$a" ] || { echo "$name: probe: $(cat "$probe_out")"; a=None; }
        rm -f "$probe_out"
        answers="$answers$a,"
    done
    python3 -c "s, b, o, f, a = $best_setup, $best_bare, $best_one, $fixed, [$answers]
worst = 'n/a' if not a or None in a else '%.1f' % max(a)
print('%-18s %8.3f %8.3f %9.3f %10.2f %14.2f %14.2f %10s' % ('$name', s, b, o, s / b, s / o, (s - f) / b, worst))"
done
clear_drive
echo "setup_s is the whole dialog (window, scan, folders, copy, autorun file, shell call); copy/bare"
echo "leaves out its fixed cost above. Times are the best of $rounds rotating runs, answer_ms the worst"
echo "of $probes probed runs."
