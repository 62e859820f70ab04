#!/usr/bin/env bash
# Builds the decoder's libFuzzer target (needs clang) and runs it.
# Usage: scripts/fuzz.sh [seconds]   (default 60)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
"$root/scripts/build.sh" >/dev/null
fuzzer="$root/build/tests/fuzz/decoder_fuzz"
if [ ! -x "$fuzzer" ]; then
    echo "decoder_fuzz was not built: install clang (apt-get install clang) and run again" >&2
    exit 1
fi
corpus="$root/build/fuzz-corpus"
mkdir -p "$corpus"
exec "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 "$corpus"
