#!/usr/bin/env bash
# Builds the record-walk fuzzer (clang, libFuzzer, address and undefined-behaviour
# sanitizers) in build-fuzz/ through CMake and runs it for the given number of seconds
# (default 60) from a seed corpus of small valid databases, plain and compressed. Fails on
# any crash, leak or hang.
#
#   fuzz/run.sh [seconds]
set -euo pipefail

seconds="${1:-60}"
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${SONDREL_FUZZ_DIR:-$root/build-fuzz}"
mkdir -p "$out/corpus" "$out/seeds"

# The fuzz target and the seed maker, built by CMake with clang and the sanitizers over
# the reader's own library.
cmake -S "$root" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER="${CXX_FUZZ:-clang++}" -DSONDREL_FUZZ=ON >/dev/null
cmake --build "$out" --target fuzz_walk make_seeds
"$out/fuzz/make_seeds" "$out/seeds"
# Real databases, when the shared fixtures are at hand, are read as seeds in place.
extra=()
if [ -n "${SONDREL_FIXTURES:-}" ] && [ -d "$SONDREL_FIXTURES" ]; then
    extra+=("$SONDREL_FIXTURES")
fi

cd "$out"
exec "$out/fuzz/fuzz_walk" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 \
    -print_final_stats=1 "$out/corpus" "$out/seeds" "${extra[@]}"
