#!/bin/sh
# Builds the fuzz target with the fuzz preset and fuzzes the whole assembly for SECONDS
# (default 120), starting from a fresh copy of the checked-in corpus, with the source language's
# dictionary. Any finding (crash, broken invariant, timeout, out of memory) fails the script; its
# reproducer is kept in build/fuzz/findings/<date-time>/.
set -eu

seconds=${1:-120}
case $seconds in
    ''|*[!0-9]*) echo "usage: $0 [SECONDS]" >&2; exit 2 ;;
esac

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cmake --preset fuzz >/dev/null
# Only the fuzz target: the companion tools need not build for the core to be fuzzed.
cmake --build --preset fuzz -j2 --target orbasm_assemble_fuzz

build="$root/build/fuzz"
target="$build/fuzz/orbasm_assemble_fuzz"
work="$build/corpus"
findings="$build/findings/$(date +%Y%m%d-%H%M%S)"
rm -rf "$work"
mkdir -p "$work" "$findings"
cp "$root"/fuzz/corpus/* "$work"/

# The target changes its working directory to a scratch directory, so every path is absolute.
# It also limits the size of the files it writes (the images); its log therefore goes through a
# pipe, so a long run's log is never cut short where this script's output is a file.
status_file="$build/fuzz-status"
rm -f "$status_file"
{
    status=0
    "$target" "$work" \
        -dict="$root/fuzz/orbasm.dict" \
        -max_len=4096 \
        -max_total_time="$seconds" \
        -timeout=10 \
        -rss_limit_mb=2048 \
        -artifact_prefix="$findings/" \
        -print_final_stats=1 2>&1 || status=$?
    echo "$status" > "$status_file"
} | cat
status=$(cat "$status_file")

if [ "$status" -ne 0 ] || [ -n "$(ls -A "$findings")" ]; then
    echo "fuzzing found a problem (exit status $status); reproducers in $findings:" >&2
    ls -l "$findings" >&2
    exit 1
fi
rmdir "$findings"
echo "no findings in $seconds seconds"
