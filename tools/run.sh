#!/usr/bin/env bash
# Installs what is missing, builds Sondrel and starts it.
#
#   tools/run.sh [OPTIONS]   Sondrel with its options (--player PATH, --to DIR, --help)
#   tools/run.sh --demo      Sondrel on a demo player, made once in build/demo/player, with
#                            settings of its own (build/demo/settings) and its exports in
#                            build/demo/export: nothing of the user's is read or written
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ "${1:-}" = "--demo" ]; then
    demo="$PWD/build/demo"
    cmake --build build --target Sondrel sondrel-demo-player
    # Made beside and moved in whole, so that a run broken off leaves no half player.
    if [ ! -f "$demo/player/iPod_Control/iTunes/iTunesDB" ]; then
        rm -rf "$demo/player.new" "$demo/player"
        build/playermaker/sondrel-demo-player "$demo/player.new"
        mv "$demo/player.new" "$demo/player"
    fi
    mkdir -p "$demo/export" "$demo/settings"
    echo "Demo: press \"Check for sound files\" to list the demo player's tracks."
    exec build/app/Sondrel --player "$demo/player" --to "$demo/export" \
        --settings "$demo/settings/Sondrel.conf"
fi
cmake --build build --target Sondrel
exec build/app/Sondrel "$@"
