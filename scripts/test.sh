#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest:
#   1. the normal build (build/): every test, end-to-end and package tests included;
#   2. the whole suite again built with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/);
#   3. the fuzz targets built with clang and libFuzzer, replaying their corpus and fuzzing a while (build-fuzz/).
# `scripts/test.sh quick` runs only the first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
"$root/scripts/install-deps.sh"

"$root/scripts/build.sh" "$root/build"
(cd "$root/build" && ctest --output-on-failure -j"$jobs")
[ "${1:-}" = quick ] && exit 0

if [ -f "$root/cmake/Sanitizers.cmake" ]; then
    cmake -S "$root" -B "$root/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPIXELION_SANITIZE=ON >/dev/null
    cmake --build "$root/build-asan" -j"$jobs"
    (cd "$root/build-asan" && ctest --output-on-failure -j"$jobs" -LE 'e2e|package|fuzz')
fi

if [ -f "$root/fuzz/CMakeLists.txt" ]; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DPIXELION_FUZZ=ON >/dev/null
    cmake --build "$root/build-fuzz" -j"$jobs"
    (cd "$root/build-fuzz" && ctest --output-on-failure -L fuzz)
fi
