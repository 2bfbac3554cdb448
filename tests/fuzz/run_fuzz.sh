#!/usr/bin/env bash
# Runs a fuzz target for a while on a small seed corpus plus what earlier runs
# found. Fails when the fuzzer reports a crash, a sanitizer error or a
# mismatch. The targets are built by tests/fuzz/CMakeLists.txt, which the main
# build includes when clang++ is there (into build/tests/fuzz/build).
#
# Usage: run_fuzz.sh BINARY WORK_DIR [SECONDS]
#   BINARY      a built reader_fuzz or core_fuzz; its name picks the seeds
#   WORK_DIR    where the corpus and any crash inputs are kept
#   SECONDS     fuzzing time, 10 when not given
# core_fuzz also starts from meshes of $ORRELIN_MESHGEN when that is set.
# An hour of both, for example:
#   tests/fuzz/run_fuzz.sh build/tests/fuzz/build/reader_fuzz build/fuzz-long 3600
#   ORRELIN_MESHGEN=build/tools/meshgen/orrelin-meshgen \
#       tests/fuzz/run_fuzz.sh build/tests/fuzz/build/core_fuzz build/fuzz-long 3600
set -euo pipefail

if [ $# -lt 2 ]; then
    echo "usage: $0 BINARY WORK_DIR [SECONDS]" >&2
    exit 2
fi
bin="$1"
seconds="${3:-10}"
target="$(basename "$bin")"
case "$target" in
    reader_fuzz | core_fuzz) ;;
    *)
        echo "unknown fuzz target: $target" >&2
        exit 2
        ;;
esac
if [ ! -x "$bin" ]; then
    echo "no fuzz target at $bin; build it first" >&2
    exit 2
fi
mkdir -p "$2"
work="$(cd "$2" && pwd)"

# The seeds are written afresh on every run; the corpus keeps what the fuzzer
# found interesting before.
seeds="$work/$target-seeds"
corpus="$work/$target-corpus"
rm -rf "$seeds"
mkdir -p "$seeds" "$corpus"
printf 'v 0 0\nv 1 0\nv 0 1\nv 1 1\nf 0 1 2\nf 1 3 2\n' >"$seeds/square.tri"
printf 'v 0 0\r\nv 1 0\r\nv 0 1\r\nf 0 1 2\r\n' >"$seeds/crlf.tri"
printf 'f 0 1 2\nv 0 0\nv 1.5e1 -2.25\nv .5 +1E-3\n' >"$seeds/triangles_first.tri"
printf 'v 123.456789 2.0\nv 1e 7\nv 1e+-5 3\nv -12345678 1e5e\nv 0x10 inf nan\n' >"$seeds/odd_vertices.tri"
printf 'v 9e99 -1e39 1e-50 -1e-50 1e-45 16777217 34029e34\n' >"$seeds/limits.tri"
printf 'f 2147483647 -2147483648 +5\nf 2147483648 99999999999 -1\nf 3\nf -f x\n' >"$seeds/indices.tri"
printf '# first vertex\nV 1 2\nF 0 1 2\n' >"$seeds/words.tri"
printf 'v 1\x002\tv\v3\f4\rf\x010 0 0\xff\n' >"$seeds/bytes.tri"
: >"$seeds/empty.tri"
if [ "$target" = core_fuzz ]; then
    # The core target reads the limits from the first three bytes; meshes from
    # the generator, when it is built, give it real structure to start from.
    for f in "$seeds"/*.tri; do printf '\x04\x00\x32' | cat - "$f" >"$f.in" && mv "$f.in" "$f"; done
    meshgen="${ORRELIN_MESHGEN:-}"
    if [ -n "$meshgen" ] && [ -x "$meshgen" ]; then
        for kind in grid density slivers; do
            "$meshgen" "$kind" 60 "$seeds/$kind.body" --seed 1 >/dev/null
            printf '\x09\x00\x01' | cat - "$seeds/$kind.body" >"$seeds/$kind.tri"
            rm -f "$seeds/$kind.body"
        done
    fi
fi

log="$work/$target-last_run.log"
status=0
"$bin" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$work/$target-" "$corpus" "$seeds" >"$log" 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
    cat "$log"
    echo "$target failed with status $status; the input is kept in $work" >&2
    exit "$status"
fi
grep -E '^#[0-9]+[[:space:]]+DONE|^Done |^stat::' "$log" || tail -n 5 "$log"
