#!/usr/bin/env bash
# Mounts and unmounts the copy tests' special drives (K: small, L: read-only, M: tiny) and makes a looped tree.
# Usage: mounts.sh setup|cleanup BUILD_DIR
# Where mounting is not allowed, the drives stay plain folders without the
# marker file, and the tests that need them skip.
set -u
drives="$2/copy-drives"

unmount_all() {
    for letter in k l m; do
        while mountpoint -q "$drives/$letter" 2>/dev/null; do
            umount "$drives/$letter" 2>/dev/null || umount -l "$drives/$letter" 2>/dev/null || break
        done
    done
}

mount_tmpfs() { # letter size [ro]
    local dir="$drives/$1"
    mkdir -p "$dir"
    mount -t tmpfs -o "size=$2" rover-copy-test "$dir" 2>/dev/null || {
        echo "cannot mount a tmpfs on $dir: tests on drive ${1^^}: will skip"
        return 0
    }
    touch "$dir/.rover-mount"
    if [ "${3:-}" = ro ]; then
        mount -o remount,ro "$dir" 2>/dev/null || {
            echo "cannot make $dir read-only: tests on drive ${1^^}: will skip"
            umount "$dir"
        }
    fi
}

# A distribution tree whose subfolder links back to the tree itself, with a
# link to a folder inside the tree and one to a folder outside it.
make_loop_tree() {
    local root="$2/copy-fixtures/loop"
    local outside="$2/copy-fixtures/outside"
    rm -rf "$root" "$outside"
    mkdir -p "$root/sub" "$outside"
    echo a >"$root/a.txt"
    echo b >"$root/sub/b.txt"
    echo o >"$outside/o.txt"
    ln -s .. "$root/sub/back"
    ln -s sub "$root/alias"
    ln -s ../outside "$root/out"
}

case "$1" in
setup)
    make_loop_tree "$@"
    unmount_all
    mount_tmpfs k 1m
    mount_tmpfs l 1m ro
    mount_tmpfs m 64k
    ;;
cleanup)
    unmount_all
    ;;
*)
    echo "usage: mounts.sh setup|cleanup BUILD_DIR" >&2
    exit 2
    ;;
esac
exit 0
