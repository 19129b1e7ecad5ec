#!/usr/bin/env bash
# Sets up this Debian 12 machine, builds the program and runs it.
set -euo pipefail
cd "$(dirname "$0")"

cmake/install-deps.sh
cmake --preset default
cmake --build --preset default
if [ ! -x build/boxwalk ]; then
    echo "Built the scene library; the program itself is not part of this build yet."
    exit 0
fi
exec build/boxwalk
