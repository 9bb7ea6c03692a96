#!/usr/bin/env bash
# Installs what is missing, builds the program and its tests, and runs every test under Wine.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
scripts/build
scripts/check-exe build/rover_setup.exe
if scripts/check-wine; then
    cd build
    exec ctest --output-on-failure
fi

cat >&2 <<'TXT'
The tests therefore run built for x86_64 under 64-bit Wine, from the same sources. The product,
build/rover_setup.exe, is built and its image checked, but it does not run on this machine.
TXT
# The image checks need no Wine; CTest would start every test program to list its tests.
tests/image/refusals.sh scripts/check-exe build/tests/plant/mpr_importer.exe \
    build/tests/image/newer_import.exe
echo "The image check refuses what it must (exe_image_refusals)."
scripts/build x86_64
cd build64
ctest --output-on-failure
