#!/usr/bin/env bash
# Installs what is missing, builds Sondrel and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target Sondrel
exec build/app/Sondrel
