#!/bin/sh
# Builds the fuzz targets with the fuzz preset and fuzzes the whole assembly for SECONDS
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
cmake --build --preset fuzz -j2

build="$root/build/fuzz"
target="$build/fuzz/orbasm_assemble_fuzz"
work="$build/corpus"
findings="$build/findings/$(date +%Y%m%d-%H%M%S)"
rm -rf "$work"
mkdir -p "$work" "$findings"
cp "$root"/fuzz/corpus/* "$work"/

# The target changes its working directory to a scratch directory, so every path is absolute.
status=0
"$target" "$work" \
    -dict="$root/fuzz/orbasm.dict" \
    -max_len=4096 \
    -max_total_time="$seconds" \
    -timeout=10 \
    -rss_limit_mb=2048 \
    -artifact_prefix="$findings/" \
    -print_final_stats=1 || status=$?

if [ "$status" -ne 0 ] || [ -n "$(ls -A "$findings")" ]; then
    echo "fuzzing found a problem (exit status $status); reproducers in $findings:" >&2
    ls -l "$findings" >&2
    exit 1
fi
echo "no findings in $seconds seconds"
