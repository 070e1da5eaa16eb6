#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest:
#   1. the normal build (build/), warnings as errors: every test, the format check, the
#      end-to-end and package tests included;
#   2. the suite again with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/);
#   3. the tests of the read-ahead and the show with ThreadSanitizer (build-tsan/);
#   4. the fuzz targets built with clang and libFuzzer, replaying their corpus and fuzzing a
#      while (build-fuzz/).
# `scripts/test.sh quick` runs only the first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
"$root/scripts/install-deps.sh"
stage() { echo "==== $* ($(date +%T))"; }

stage "normal build"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPIXELION_WERROR=ON >/dev/null
cmake --build "$root/build" -j"$jobs"
(cd "$root/build" && ctest --output-on-failure -j"$jobs")
[ "${1:-}" = quick ] && exit 0

stage "AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S "$root" -B "$root/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPIXELION_SANITIZE=ON \
    >/dev/null
cmake --build "$root/build-asan" -j"$jobs"
(cd "$root/build-asan" && ctest --output-on-failure -j"$jobs" -LE 'e2e|package|fuzz|format|large')

# Only what runs threads: the picture cache, its read-ahead and the show that drives them.
stage "ThreadSanitizer"
tsan_tests=(tst_readahead tst_slideshow tst_badpictures)
cmake -S "$root" -B "$root/build-tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPIXELION_TSAN=ON >/dev/null
cmake --build "$root/build-tsan" -j"$jobs" --target "${tsan_tests[@]}"
(cd "$root/build-tsan" &&
    TSAN_OPTIONS="halt_on_error=1 suppressions=$root/tests/tsan.supp" \
        ctest --output-on-failure -j"$jobs" -R "^($(IFS='|'; echo "${tsan_tests[*]}"))\$")

stage "fuzzing"
CC=clang CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPIXELION_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$root/build-fuzz" -j"$jobs" --target fuzz_header fuzz_picture fuzz_profile \
    fuzz_strings
(cd "$root/build-fuzz" && ctest --output-on-failure -j"$jobs" -L fuzz --no-tests=error)
stage "done"
