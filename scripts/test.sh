#!/usr/bin/env bash
# Installs what is missing, builds the program and its tests, and runs every test under Wine.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
scripts/install-deps
cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
cmake --build build -j"$(nproc)"
scripts/check-exe build/rover_setup.exe
cd build
ctest --output-on-failure
