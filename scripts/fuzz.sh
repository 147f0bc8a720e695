#!/usr/bin/env bash
# Builds the receive-path fuzz target with clang (libFuzzer, AddressSanitizer, UBSan) and runs it
# for SECONDS (default 60). A crash, leak or undefined behaviour fails the run, and the input
# that caused it is printed in hex and kept in build-fuzz/artifacts/. Inputs stay under 512 bytes:
# a few frames each, so that the fuzzer tries many.
#   bash scripts/fuzz.sh 3600     # an hour
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"

CANSERVICE_EXTRA_PACKAGES="clang libclang-rt-14-dev" bash scripts/setup.sh

flags="-fsanitize=address,undefined -fsanitize=fuzzer-no-link -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
mkdir -p build-fuzz
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCANSERVICE_FUZZ=ON -DBUILD_TESTING=OFF -DCANSERVICE_WERROR=ON \
    -DCMAKE_CXX_FLAGS="$flags" > build-fuzz/configure.log 2>&1 \
    || { cat build-fuzz/configure.log >&2; exit 1; }
cmake --build build-fuzz -j2 --target fuzz_receive

work=build-fuzz/corpus
artifacts=build-fuzz/artifacts
mkdir -p "$work" "$artifacts"
status=0
log=build-fuzz/fuzz.log
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    build-fuzz/bin/fuzz_receive -max_total_time="$seconds" -max_len=512 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" -timeout=10 "$work" fuzz/corpus 2>&1 | tee "$log" || status=$?
# The two figures to watch: speed and coverage.
awk '/stat::number_of_executed_units/ { runs = $2 } /stat::average_exec_per_sec/ { rate = $2 }
     / cov: / { for (i = 1; i <= NF; ++i) if ($i == "cov:") edges = $(i + 1) }
     END { printf "fuzzing: %d inputs, %d per second, coverage %d edges\n", runs, rate, edges }' "$log"
if [ "$status" -ne 0 ]; then
    for f in "$artifacts"/*; do
        [ -f "$f" ] || continue
        echo "Reproducer $f:"
        od -An -tx1 -v "$f"
    done
    echo "Run it again: build-fuzz/bin/fuzz_receive $artifacts/<file>" >&2
fi
exit "$status"
