#!/usr/bin/env bash
# Builds and runs every test: the normal build, the same tests under
# AddressSanitizer + UndefinedBehaviorSanitizer, the libFuzzer harnesses for a
# bounded time, and last the Debian packages (scripts/package-test.sh). Exits
# non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=${JOBS:-$(nproc)}
FUZZ_SECONDS=${FUZZ_SECONDS:-20}

bash scripts/deps.sh

export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1

echo "== build (RelWithDebInfo)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORLAN_BENCH=ON >/dev/null
cmake --build build -j "$JOBS"
echo "== tests"
ctest --test-dir build --output-on-failure -j "$JOBS"

echo "== build (ASan + UBSan)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORLAN_SANITIZE=ON -DQUORLAN_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="-O1" >/dev/null
cmake --build build-asan -j "$JOBS"
echo "== tests under sanitizers"
ctest --test-dir build-asan --output-on-failure -j "$JOBS"

echo "== fuzzers (${FUZZ_SECONDS}s each)"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORLAN_FUZZ=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build-fuzz -j "$JOBS"
for fuzzer in build-fuzz/tests/fuzz/fuzz_*; do
    [[ -x $fuzzer ]] || continue
    corpus="build-fuzz/corpus/$(basename "$fuzzer")"
    mkdir -p "$corpus"
    echo "-- $(basename "$fuzzer")"
    "$fuzzer" -max_total_time="$FUZZ_SECONDS" -max_len=20000 -print_final_stats=0 "$corpus" 2>&1 | tail -n 3
done
echo "== packages"
bash scripts/package-test.sh
echo "All test stages passed."
