#!/usr/bin/env bash
# The orbasm benchmark: assembles generated programs and compares the time with the echo floor.
#
# usage: bench/run.sh [--build-dir DIR] [--sizes N,N,...] [--small] [--large] [--all]
#                     [--runs N] [--seed S] [--callgrind] [--keep]
#
#   --build-dir DIR  configure (Release) and build in DIR instead of the "release" preset
#   --sizes LIST     program sizes in lines, comma separated (default 1000000)
#   --small          add 100,000 lines;  --large  add 10,000,000 lines;  --all  all three
#   --runs N         timed runs of each program and tool (default 5; 3 for 5,000,000 lines and up)
#   --seed S         generator seed (default 1)
#   --callgrind      also count instructions per source line with valgrind on 100,000 lines
#   --keep           keep the temporary folder with the programs and images
#
# For every size it prints: lines, orbasm and floor seconds (medians), orbasm lines per second,
# the ratio orbasm/floor, orbasm's peak RSS per source line, the layout passes, and whether the
# image was byte-identical (sha256) across every run. The exit status is 1 when an assembly fails
# or an image differs between runs.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)

build_dir=""
sizes=""
extra=""
runs=""
seed=1
callgrind=0
keep=0
while [ $# -gt 0 ]; do
    case "$1" in
    --build-dir) build_dir=$2; shift 2 ;;
    --sizes) sizes=$2; shift 2 ;;
    --small) extra="$extra,100000"; shift ;;
    --large) extra="$extra,10000000"; shift ;;
    --all) extra="$extra,100000,1000000,10000000"; shift ;;
    --runs) runs=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --callgrind) callgrind=1; shift ;;
    --keep) keep=1; shift ;;
    -h | --help) sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
    esac
done
# --small and --large add to the default size; every size is measured once, smallest first.
sizes=$(echo "${sizes:-1000000}$extra" | tr ',' '\n' | sed '/^$/d' | sort -n -u | tr '\n' ' ')

# Tools: GNU time for the peak RSS (Debian package "time"), valgrind for --callgrind.
need_packages=""
[ -x /usr/bin/time ] || need_packages="$need_packages time"
if [ "$callgrind" = 1 ] && ! command -v valgrind >/dev/null; then need_packages="$need_packages valgrind"; fi
if [ -n "$need_packages" ]; then
    echo "installing:$need_packages" >&2
    apt-get update >&2
    apt-get install -y $need_packages >&2
fi

# Build the assembler and the two helpers only (not the test suite).
cd "$root"
if [ -n "$build_dir" ]; then
    cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build_dir" -j2 --target orbasm echo_floor orbasm_passes >/dev/null
else
    cmake --preset release >/dev/null
    cmake --build --preset release -j2 --target orbasm echo_floor orbasm_passes >/dev/null
    build_dir=build/release
fi
build_dir=$(cd "$build_dir" && pwd)
orbasm=$build_dir/orbasm
floor=$build_dir/bench/echo_floor
passes=$build_dir/bench/orbasm_passes

work=$(mktemp -d "${TMPDIR:-/tmp}/orbasm-bench.XXXXXX")
if [ "$keep" = 1 ]; then echo "programs kept in $work" >&2; else trap 'rm -rf "$work"' EXIT; fi

# Wall time of one run in microseconds, read from the shell's own clock (no extra process); the
# echo goes to /dev/null and stdin is empty, so a report never waits for Enter.
time_us() {
    local start end
    start=${EPOCHREALTIME/./}
    "$@" >/dev/null </dev/null || { echo "failed: $*" >&2; return 1; }
    end=${EPOCHREALTIME/./}
    echo $((end - start))
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

generate() { # lines -> file name
    local file=$work/p$1.asm
    [ -f "$file" ] || python3 "$here/gen_program.py" "$1" "$seed" "$file" 2>/dev/null
    echo "$file"
}

status=0
rows=()
for lines in $sizes; do
    file=$(generate "$lines")
    n=$runs
    [ -n "$n" ] || { [ "$lines" -ge 5000000 ] && n=3 || n=5; }
    echo "measuring $lines lines ($n runs each)" >&2
    cat "$file" >/dev/null # into the page cache, for both tools alike
    "$floor" "$file" >/dev/null
    "$orbasm" "$file" >/dev/null </dev/null || { echo "orbasm failed on $file" >&2; status=1; continue; }
    reference=$(sha256sum <"$file.orb" | cut -d' ' -f1)
    identical=yes
    orbasm_times=()
    floor_times=()
    for ((i = 0; i < n; i++)); do
        rm -f "$file.orb"
        orbasm_times+=("$(time_us "$orbasm" "$file")") || { status=1; continue 2; }
        [ "$(sha256sum <"$file.orb" | cut -d' ' -f1)" = "$reference" ] || identical=no
        floor_times+=("$(time_us "$floor" "$file")")
    done
    [ "$identical" = yes ] || status=1
    orbasm_us=$(printf '%s\n' "${orbasm_times[@]}" | median)
    floor_us=$(printf '%s\n' "${floor_times[@]}" | median)
    rss_kb=$(/usr/bin/time -v "$orbasm" "$file" 2>&1 >/dev/null </dev/null |
        sed -n 's/^[[:space:]]*Maximum resident set size (kbytes): //p')
    pass_count=$("$passes" "$file" | sed -n 's/^layout_passes //p')
    rows+=("$(awk -v l="$lines" -v o="$orbasm_us" -v f="$floor_us" -v r="$rss_kb" -v p="$pass_count" -v d="$identical" \
        'BEGIN { printf "%10d %10.4f %10.4f %12.0f %8.1f %10.1f %7s %6s", l, o / 1e6, f / 1e6, l / (o / 1e6), o / f, r * 1024 / l, p, d }')")
done

echo
printf '%10s %10s %10s %12s %8s %10s %7s %6s\n' lines "orbasm s" "floor s" "lines/s" ratio "RSS B/ln" passes "same"
for row in "${rows[@]}"; do echo "$row"; done

if [ "$callgrind" = 1 ]; then
    file=$(generate 100000)
    for tool in orbasm floor; do
        exe=$orbasm
        [ "$tool" = floor ] && exe=$floor
        out=$work/callgrind.$tool.out
        valgrind --tool=callgrind --callgrind-out-file="$out" "$exe" "$file" >/dev/null 2>&1 </dev/null
        total=$(sed -n 's/^totals: \([0-9]*\).*/\1/p; s/^summary: \([0-9]*\).*/\1/p' "$out" | head -n 1)
        awk -v t="$total" -v tool="$tool" 'BEGIN { printf "callgrind %-6s on 100000 lines: %d instructions, %.0f per source line\n", tool, t, t / 100000 }'
    done
fi
exit $status
