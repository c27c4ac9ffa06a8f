#!/usr/bin/env bash
# Builds the chat-text fuzz target with clang and sanitizers in a build
# directory of its own (build-fuzz, or $FUZZ_BUILD) and runs it.
#
#   fuzz/run.sh --runs N      a bounded run, as the test suite does
#   fuzz/run.sh --seconds S   a run of S seconds (make fuzz)
#
# New inputs the fuzzer finds go to build-fuzz/corpus; fuzz/corpus holds the
# seeds and is only read. A failing input is written to build-fuzz/ as crash-*.
# Exits 77 (skipped) when clang or its fuzzing runtime is missing.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${FUZZ_BUILD:-$root/build-fuzz}

case "${1:-}" in
--runs) limit=(-runs="${2:?--runs needs a number}") ;;
--seconds) limit=(-max_total_time="${2:?--seconds needs a number}") ;;
*)
    echo "usage: $0 --runs N | --seconds S" >&2
    exit 2
    ;;
esac

if ! command -v clang++ >/dev/null ||
    ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
    echo "clang++ or libFuzzer missing: run scripts/install-deps.sh" >&2
    exit 77
fi

if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DJACKWELL_FUZZ=ON -DJACKWELL_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j 2 --target chat_text_fuzzer

mkdir -p "$build/corpus"
cd "$build"
exec ./fuzz/chat_text_fuzzer -dict="$here/protocol.dict" -max_len="${FUZZ_MAX_LEN:-16384}" \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "${limit[@]}" corpus "$here/corpus"
