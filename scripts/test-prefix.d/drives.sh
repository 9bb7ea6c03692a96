#!/usr/bin/env bash
# Test drives for the drive dialog: R: removable and labelled, S: a CD drive, T: a missing folder.
# Usage: drives.sh PREFIX (run by test-prefix with the prefix's Wine settings).
set -euo pipefail
prefix=$(readlink -m "$1")
drives=$(readlink -m "$prefix/../testdrives")
mkdir -p "$drives/removable" "$drives/cdrom"
rm -rf "$drives/missing"
# Wine takes a volume's label from this file in the drive's root folder.
printf 'ROVERSTICK' >"$drives/removable/.windows-label"
ln -sfn "$drives/removable" "$prefix/dosdevices/r:"
ln -sfn "$drives/cdrom" "$prefix/dosdevices/s:"
ln -sfn "$drives/missing" "$prefix/dosdevices/t:"
# U: is defined and removed by the tests through the mount manager; never leave one behind.
rm -f "$prefix/dosdevices/u:"
# The drive types are read by the wineserver's services at their start.
wine reg add 'HKLM\Software\Wine\Drives' /v r: /d floppy /f /reg:64 </dev/null >/dev/null 2>&1 ||
    wine reg add 'HKLM\Software\Wine\Drives' /v r: /d floppy /f </dev/null >/dev/null
wine reg add 'HKLM\Software\Wine\Drives' /v s: /d cdrom /f /reg:64 </dev/null >/dev/null 2>&1 ||
    wine reg add 'HKLM\Software\Wine\Drives' /v s: /d cdrom /f </dev/null >/dev/null
