#!/usr/bin/env bash
# Sets up this Debian 12 machine, builds the program and runs every test.
set -euo pipefail
cd "$(dirname "$0")"

cmake/install-deps.sh
cmake --preset default
cmake --build --preset default
ctest --preset default
