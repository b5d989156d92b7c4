#!/bin/sh
# Builds the fuzz targets with the fuzz preset, then fuzzes the whole assembly for SECONDS
# (default 120) with the source language's dictionary, and after it the disassembler's round trip
# (bytes as an image, decoded and assembled back) for ROUNDTRIP_SECONDS (default 60; 0 skips it).
# Each starts from a fresh copy of its checked-in corpus. Any finding (crash, broken invariant,
# timeout, out of memory) of either target fails the script; its reproducer is kept in
# build/fuzz/findings/<date-time>/, its name starting with the target's.
set -eu

seconds=${1:-120}
roundtrip_seconds=${2:-60}
for value in "$seconds" "$roundtrip_seconds"; do
    case $value in
        ''|*[!0-9]*) echo "usage: $0 [SECONDS [ROUNDTRIP_SECONDS]]" >&2; exit 2 ;;
    esac
done

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cmake --preset fuzz >/dev/null
# Only the fuzz targets: the companion programs need not build for the core to be fuzzed.
cmake --build --preset fuzz -j2 --target orbasm_assemble_fuzz orbasm_roundtrip_fuzz

build="$root/build/fuzz"
findings="$build/findings/$(date +%Y%m%d-%H%M%S)"
mkdir -p "$findings"

# Runs one target: NAME, its checked-in corpus, seconds, then the target's own options. Its
# exit status is appended to the status file.
status_file="$build/fuzz-status"
rm -f "$status_file"
run_target() {
    name=$1 corpus=$2 limit=$3
    shift 3
    work="$build/corpus-$name"
    rm -rf "$work"
    mkdir -p "$work"
    cp "$corpus"/* "$work"/
    echo "== fuzzing $name for $limit seconds"
    # A target changes its working directory to a scratch directory, so every path is absolute.
    # It also limits the size of the files it writes (the images); its log therefore goes through
    # a pipe, so a long run's log is never cut short where this script's output is a file.
    {
        status=0
        "$build/fuzz/orbasm_${name}_fuzz" "$work" "$@" \
            -max_len=4096 \
            -max_total_time="$limit" \
            -timeout=10 \
            -rss_limit_mb=2048 \
            -artifact_prefix="$findings/$name-" \
            -print_final_stats=1 2>&1 || status=$?
        echo "$name $status" >> "$status_file"
    } | cat
}

run_target assemble "$root/fuzz/corpus" "$seconds" -dict="$root/fuzz/orbasm.dict"
if [ "$roundtrip_seconds" -gt 0 ]; then
    run_target roundtrip "$root/fuzz/roundtrip_corpus" "$roundtrip_seconds"
fi

failed=$(awk '$2 != 0 { print $1 " (exit status " $2 ")" }' "$status_file")
if [ -n "$failed" ] || [ -n "$(ls -A "$findings")" ]; then
    echo "fuzzing found a problem: ${failed:-see the reproducers}; reproducers in $findings:" >&2
    ls -l "$findings" >&2
    exit 1
fi
rmdir "$findings"
echo "no findings in $seconds seconds of assembly and $roundtrip_seconds seconds of round trip"
