#!/usr/bin/env bash
# Formats every C++ file in git with the project's .clang-format. With --check it changes
# nothing and fails, naming the places, when a file differs from its formatted form.
#
#   tools/format.sh [--check]
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
    exec clang-format --dry-run --Werror "${files[@]}"
fi
exec clang-format -i "${files[@]}"
