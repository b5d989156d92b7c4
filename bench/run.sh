#!/usr/bin/env bash
# The orbasm benchmark: assembles generated programs and compares the time with the echo floor.
#
# usage: bench/run.sh [--build-dir DIR] [--sizes N,N,...] [--small] [--large] [--all]
#                     [--runs N] [--seed S] [--callgrind] [--keep] [--reference EXE]
#
#   --build-dir DIR  configure (Release) and build in DIR instead of the "release" preset
#   --sizes LIST     program sizes in lines, comma separated (default 1000000)
#   --small          add 100,000 lines;  --large  add 10,000,000 lines;  --all  all three
#   --runs N         timed runs of each program and tool (default 5; 3 for 5,000,000 lines and up)
#   --seed S         generator seed (default 1)
#   --callgrind      also count instructions per source line with valgrind on 100,000 lines
#   --keep           keep the temporary folder with the programs and images
#   --reference EXE  also check that the echo and the image of every program are byte-identical
#                    to those of another orbasm binary (say, the one before an optimisation)
#
# For every size it prints: lines, orbasm and floor wall seconds (medians), orbasm lines per
# second, the ratio orbasm/floor of wall seconds and of CPU seconds, orbasm's peak RSS per source
# line, the layout passes, and whether the image was byte-identical (sha256) across every run.
# The exit status is 1 when an assembly fails, an image differs between runs, or the output
# differs from the reference binary's.
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
reference=""
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
    --reference) reference=$(cd "$(dirname "$2")" && pwd)/$(basename "$2"); shift 2 ;;
    -h | --help) awk 'NR > 1 && /^set /{ exit } NR > 1' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
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

# Runs orbasm and the floor on one program, alternately, n times each. Prints the medians of wall
# and CPU (user + system) seconds of both and "yes" when every image had the sha256 of the first.
# The echo goes to /dev/null and stdin is empty, so a report never waits for Enter. CPU seconds
# come from the child's own rusage and stay meaningful when other work shares the cores.
measure() { # n file
    python3 - "$1" "$orbasm" "$floor" "$2" <<'EOF'
import hashlib, os, statistics, subprocess, sys, time

n, orbasm, floor, source = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
image = source + ".orb"

def run(*command):
    start = time.perf_counter()
    child = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit("failed: %s (exit %d)" % (" ".join(command), child.returncode))
    return wall, usage.ru_utime + usage.ru_stime

def sha256(name):
    digest = hashlib.sha256()
    with open(name, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()

times = {"orbasm": [], "floor": []}
digests = set()
for _ in range(n):
    if os.path.exists(image):
        os.remove(image)
    times["orbasm"].append(run(orbasm, source))
    digests.add(sha256(image))
    times["floor"].append(run(floor, source))
medians = []
for tool in ("orbasm", "floor"):
    medians += [statistics.median(t[0] for t in times[tool]), statistics.median(t[1] for t in times[tool])]
print(" ".join("%.6f" % m for m in medians), "yes" if len(digests) == 1 else "no")
EOF
}

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
    read -r orbasm_s orbasm_cpu floor_s floor_cpu identical < <(measure "$n" "$file") || true
    [ -n "${identical:-}" ] || { echo "measuring $file failed" >&2; status=1; continue; }
    [ "$identical" = yes ] || status=1
    rss_kb=$(/usr/bin/time -v "$orbasm" "$file" 2>&1 >/dev/null </dev/null |
        sed -n 's/^[[:space:]]*Maximum resident set size (kbytes): //p')
    pass_count=$("$passes" "$file" | sed -n 's/^layout_passes //p')
    if [ -n "$reference" ]; then
        # The same bytes out: the echo and the image of both binaries, compared by sha256.
        ours="$("$orbasm" "$file" </dev/null | sha256sum) $(sha256sum <"$file.orb")"
        theirs="$("$reference" "$file" </dev/null | sha256sum) $(sha256sum <"$file.orb")"
        if [ "$ours" = "$theirs" ]; then
            echo "$lines lines: echo and image identical to $reference" >&2
        else
            echo "$lines lines: echo or image DIFFERS from $reference" >&2
            status=1
        fi
    fi
    rows+=("$(awk -v l="$lines" -v o="$orbasm_s" -v f="$floor_s" -v oc="$orbasm_cpu" -v fc="$floor_cpu" \
        -v r="$rss_kb" -v p="$pass_count" -v d="$identical" 'BEGIN {
        printf "%10d %9.4f %9.4f %11.0f %6.1f %6.1f %9.1f %6s %5s", l, o, f, l / o, o / f, oc / fc, r * 1024 / l, p, d }')")
done

echo
printf '%10s %9s %9s %11s %6s %6s %9s %6s %5s\n' lines "orbasm s" "floor s" "lines/s" ratio "cpu" "RSS B/ln" passes "same"
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
