#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UBSan) and runs them: the
# receive path for SECONDS (default 60), then the readers of captures and scenarios for a quarter
# of that. A crash, leak or undefined behaviour fails the run, and the input that caused it is
# printed in hex and kept in build-fuzz/artifacts/. Receive-path inputs stay under 512 bytes: a
# few frames each, so that the fuzzer tries many.
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
cmake --build build-fuzz -j2 --target fuzz_receive fuzz_files

artifacts=build-fuzz/artifacts
mkdir -p "$artifacts"
status=0
# fuzz TARGET SECONDS MAX_LEN SEED_CORPUS LEAKS(1 or 0)
fuzz() {
    local target=$1 time=$2 maxlen=$3 seeds=$4 leaks=$5 work=build-fuzz/corpus-$1 log=build-fuzz/$1.log result=0
    mkdir -p "$work"
    ASAN_OPTIONS=detect_leaks=$leaks UBSAN_OPTIONS=print_stacktrace=1 \
        build-fuzz/bin/"$target" -max_total_time="$time" -max_len="$maxlen" -print_final_stats=1 \
        -detect_leaks="$leaks" \
        -artifact_prefix="$artifacts/$target-" -timeout=10 "$work" "$seeds" > "$log" 2>&1 || result=$?
    tail -n 20 "$log"
    # The two figures to watch: speed and coverage.
    awk -v t="$target" '/stat::number_of_executed_units/ { runs = $2 } /stat::average_exec_per_sec/ { rate = $2 }
         / cov: / { for (i = 1; i <= NF; ++i) if ($i == "cov:") edges = $(i + 1) }
         END { printf "fuzzing %s: %d inputs, %d per second, coverage %d edges\n", t, runs, rate, edges }' "$log"
    [ "$result" -eq 0 ] || status=$result
}
# The receive path gets the time asked for; the readers of files a quarter of it each.
fuzz fuzz_receive "$seconds" 512 fuzz/corpus 1
# Without the leak check: Qt 5.15's QJsonDocument::fromJson loses a few containers on some
# malformed documents (valgrind: definitely lost inside fromJson, called by Scenario::parse), and
# the capture reader allocates nothing but Qt's own containers.
fuzz fuzz_files "$(( seconds / 4 > 10 ? seconds / 4 : 10 ))" 2048 fuzz/corpus-files 0
if [ "$status" -ne 0 ]; then
    for f in "$artifacts"/*; do
        [ -f "$f" ] || continue
        echo "Reproducer $f:"
        od -An -tx1 -v "$f"
    done
    echo "Run it again: build-fuzz/bin/<target> $artifacts/<file>" >&2
fi
exit "$status"
