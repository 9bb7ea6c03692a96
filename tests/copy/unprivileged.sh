#!/usr/bin/env bash
# Runs copy tests as the unprivileged user nobody, for whom Wine enforces read-only files and folder permissions as Windows does.
# Usage: unprivileged.sh BUILD_DIR PROGRAM [test arguments...]
# Exits 77 (a skip for CTest) where the run cannot be set up: not root, no setpriv, no user nobody.
set -u
build=$(readlink -m "$1")
program=$(readlink -m "$2")
shift 2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
scripts=$(readlink -m "$here/../../scripts")

skip() {
    echo "SKIP: the unprivileged run cannot be set up here: $*"
    exit 77
}
[ "$(id -u)" = 0 ] || skip "it must start as root to become nobody"
command -v setpriv >/dev/null || skip "setpriv is missing"
id nobody >/dev/null 2>&1 || skip "there is no user nobody"
group=$(id -gn nobody)

# Everything nobody writes lies in its own tree: home, prefix, drives J: to N:, temporary folders.
home="$build/nobody"
mkdir -p "$home/tmp"
# The prefix hooks look for the build's programs beside the prefix (the folder recorder).
ln -sfn ../tests "$home/tests"
chown -h nobody:"$group" "$home" "$home/tmp" "$home/tests"
as_nobody() {
    setpriv --reuid=nobody --regid="$group" --clear-groups \
        env HOME="$home" USER=nobody LOGNAME=nobody WINEPREFIX="$home/wineprefix" "$@"
}
as_nobody "$scripts/test-prefix" "$home/wineprefix" >"$home/prefix.log" 2>&1 ||
    skip "nobody's Wine prefix could not be made (see $home/prefix.log)"

# A distribution with a folder that nobody may not list, made here because a Windows program
# cannot take a folder's Unix permissions away.
fixtures="$home/copy-fixtures/closed"
if [ -d "$fixtures" ]; then chmod -R u+rwx "$fixtures"; fi
rm -rf "$fixtures"
mkdir -p "$fixtures/locked"
echo a >"$fixtures/a.txt"
echo x >"$fixtures/locked/x.txt"
chown -R nobody:"$group" "$fixtures"
chmod 000 "$fixtures/locked"

windows() { printf 'Z:%s' "${1//\//\\}"; }
rc=0
as_nobody ROVER_TEST_TMP="$(windows "$home/tmp")" ROVER_CLOSED_FIXTURE="$(windows "$fixtures")" \
    "$scripts/wine-run" "$program" "$@" || rc=$?
as_nobody wineserver -k 2>/dev/null || true
exit $rc
