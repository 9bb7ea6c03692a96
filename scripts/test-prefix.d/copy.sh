#!/usr/bin/env bash
# Prefix hook of the copy tests: folder "open" goes to a recorder, and drives J: to N: map to build-tree folders.
# Usage: copy.sh PREFIX (the prefix lies in the build tree)
set -euo pipefail
prefix=$(readlink -m "$1")
build=$(dirname "$prefix")
export WINEPREFIX="$prefix"

# Without this, the shell starts its file browser, which outlives every test.
recorder=$(winepath -w "$build/tests/copy/open_recorder.exe")
wine reg add 'HKCR\Folder\shell\open\command' /ve /t REG_SZ /d "\"$recorder\" \"%1\"" /f \
    </dev/null >/dev/null 2>&1
wine reg delete 'HKCR\Folder\shell\open\ddeexec' /f </dev/null >/dev/null 2>&1 || true

# J: and N: are plain folders; K:, L: and M: get their mounts from the test run.
for letter in j k l m n; do
    mkdir -p "$build/copy-drives/$letter"
    ln -sfn "$build/copy-drives/$letter" "$prefix/dosdevices/$letter:"
done
