#!/usr/bin/env bash
# Runs a Windows test program under wine, with everything wine writes inside one folder of
# the build directory: the prefix, and the home and XDG folders a fresh prefix links its
# Desktop, Music and Documents folders to. The first run makes the prefix; later runs reuse
# it. Exits with 77 (skipped) when wine is missing.
#
#   wine_run.sh <wine folder> <program.exe> [arguments...]
set -euo pipefail

folder=$1
shift
if ! command -v wine >/dev/null || ! command -v wineboot >/dev/null; then
    echo "SKIPPED: wine is not installed, so the Windows layer is not run" \
         "(tools/deps.sh --test installs wine and wine64)"
    exit 77
fi

mkdir -p "$folder"
folder=$(cd "$folder" && pwd)
export WINEPREFIX="$folder/prefix"
export HOME="$folder/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share"
export XDG_CACHE_HOME="$HOME/.cache"
export WINEDEBUG=-all
# No downloads of Mono or Gecko, no menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME"

# One run at a time per prefix, also when two test commands run in the same build directory.
exec 9>"$folder/lock"
flock 9

# Beside C: and Z:, the prefix has a removable drive E: (where the player is looked for)
# and an optical drive R:, each on a folder of its own.
drives="E:=1 R:=4"
ready="$WINEPREFIX/.sondrel-ready"
if [ ! -e "$ready" ]; then
    # A prefix left half-made by an interrupted run is made again.
    rm -rf "$WINEPREFIX"
    echo "Making the wine prefix $WINEPREFIX"
    start=$(date +%s)
    wineboot -i >"$folder/wineboot.log" 2>&1 || { cat "$folder/wineboot.log"; exit 1; }
    mkdir -p "$folder/drives/player" "$folder/drives/optical"
    ln -sfn "$folder/drives/player" "$WINEPREFIX/dosdevices/e:"
    ln -sfn "$folder/drives/optical" "$WINEPREFIX/dosdevices/r:"
    wine reg add 'HKLM\Software\Wine\Drives' /v e: /d floppy /f >>"$folder/wineboot.log" 2>&1
    wine reg add 'HKLM\Software\Wine\Drives' /v r: /d cdrom /f >>"$folder/wineboot.log" 2>&1
    # The drive types are read when wine's services start: let them end first.
    wineserver -w
    touch "$ready"
    echo "Wine prefix made in $(( $(date +%s) - start )) s"
fi

export SONDREL_TEST_DRIVES="$drives"
status=0
wine "$@" || status=$?
# The wine server outlives the program by a moment; it ends before the lock is given up.
wineserver -w
exit "$status"
