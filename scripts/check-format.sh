#!/usr/bin/env bash
# Fails when a tracked C++ file differs from what clang-format makes of it (.clang-format).
# Usage: scripts/check-format.sh [clang-format]; scripts/check-format.sh --fix rewrites them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
fix=false
if [ "${1:-}" = --fix ]; then fix=true; shift; fi
tool=${1:-$(command -v clang-format-14 || command -v clang-format)}
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
    mapfile -t files < <(find . -path ./build\* -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
fi
if $fix; then
    "$tool" -i "${files[@]}"
else
    "$tool" --dry-run -Werror "${files[@]}"
    echo "${#files[@]} files formatted as .clang-format says"
fi
