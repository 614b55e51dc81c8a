#!/usr/bin/env bash
# Builds the record-walk fuzzer (clang, libFuzzer, address and undefined-behaviour
# sanitizers) in build-fuzz/ and runs it for the given number of seconds (default 60)
# from a seed corpus of small valid databases, plain and compressed. Fails on any crash,
# leak or hang.
#
#   fuzz/run.sh [seconds]
set -euo pipefail

seconds="${1:-60}"
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${SONDREL_FUZZ_DIR:-$root/build-fuzz}"
mkdir -p "$out/corpus" "$out/seeds"

cxx="${CXX_FUZZ:-clang++}"
qt_flags="$(pkg-config --cflags Qt6Core)"
qt_libs="$(pkg-config --libs Qt6Core)"
common=(-std=c++20 -fPIC -g -DQT_NO_CAST_FROM_ASCII -DQT_NO_KEYWORDS -I"$root/reader" -I"$root/platform")

# The fuzz target: the walk's own sources, compiled with the sanitizers.
# shellcheck disable=SC2086
"$cxx" "${common[@]}" -O1 -fno-omit-frame-pointer \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined $qt_flags \
    "$root/fuzz/fuzz_walk.cpp" "$root/reader/recordwalk.cpp" "$root/reader/compresseddatabase.cpp" \
    "$root/platform/memory_posix.cpp" \
    $qt_libs -lz -o "$out/fuzz_walk"

# The seed corpus: generated, not stored.
# shellcheck disable=SC2086
"$cxx" "${common[@]}" -O1 -I"$root/playermaker" $qt_flags \
    "$root/fuzz/make_seeds.cpp" "$root/playermaker/itunesdbbuilder.cpp" $qt_libs -o "$out/make_seeds"
"$out/make_seeds" "$out/seeds"
# Real databases, when the shared fixtures are at hand, are read as seeds in place.
extra=()
if [ -n "${SONDREL_FIXTURES:-}" ] && [ -d "$SONDREL_FIXTURES" ]; then
    extra+=("$SONDREL_FIXTURES")
fi

cd "$out"
exec "$out/fuzz_walk" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 \
    -print_final_stats=1 "$out/corpus" "$out/seeds" "${extra[@]}"
