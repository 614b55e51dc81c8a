#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds everything and runs every test;
# then the export and check suites once more under the address and undefined-behaviour
# sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh --test
tools/format.sh --check
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
(cd build && ctest --output-on-failure --timeout 600 -j2)

asan_suites=(test_exportrun test_historytags test_libraryfile test_sondrelexport
    app_test_export app_test_export_endtoend app_test_checkforsoundfiles)
cmake --preset asan >/dev/null
cmake --build --preset asan --target "${asan_suites[@]}"
ctest --preset asan -R "^($(IFS='|'; echo "${asan_suites[*]}"))\$"
