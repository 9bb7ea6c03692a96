#!/usr/bin/env bash
# Installs what is missing, builds the program and its tests, and runs every test under Wine.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
scripts/build
scripts/check-exe build/rover_setup.exe
scripts/check-wine
cd build
ctest --output-on-failure
