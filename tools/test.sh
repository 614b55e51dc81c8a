#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh --test
# Every C++ file as the project's .clang-format has it.
tools/format.sh --check
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
(cd build && ctest --output-on-failure --timeout 600 -j2)


# The export, check and reader suites once more under the address and undefined-behaviour
# sanitizers (the asan preset, build-asan/); only what they need is built. Leaks are not
# checked: the command line leaves its track table to the process's end on purpose, and a
# test of a killed run leaves its staged copies behind as a killed process would.
asan_suites=(test_expfilename test_exportrun test_exportlayout test_historytags test_libraryfile
    app_test_export app_test_export_endtoend app_test_checkforsoundfiles test_sondrelexport
    test_recordwalk test_staging test_compresseddatabase test_databasereader test_playcounts)
launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake --preset asan "${launcher[@]}"
cmake --build --preset asan --target "${asan_suites[@]}"
ctest --preset asan -R "^($(IFS='|'; echo "${asan_suites[*]}"))\$"
