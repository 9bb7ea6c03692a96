#!/usr/bin/env bash
# Runs the image check on programs it must refuse and looks for the reason of each refusal.
# Usage: refusals.sh CHECK_EXE MPR_IMPORTER NEWER_IMPORT
set -u
check=$1
fail=0
expect_refusal() { # exe pattern what
    local out rc=0
    out=$("$check" "$1" 2>&1) || rc=$?
    if [ "$rc" -eq 0 ] || ! grep -q -- "$2" <<<"$out"; then
        echo "not refused for $3 (exit $rc):"
        echo "$out"
        fail=1
    fi
}
expect_refusal "$2" '^imports mpr.dll, which Windows would look for beside' "a DLL that is no known DLL"
expect_refusal "$3" '^imports kernel32.dll SetDefaultDllDirectories, which is not vetted' \
    "a function that Windows 7 lacks"
exit $fail
