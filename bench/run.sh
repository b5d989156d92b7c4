#!/usr/bin/env bash
# The orbasm benchmark: the work orbasm does per source line on one thread, and its time and
# memory next to GNU as assembling the equivalent x86-64 program.
#
# usage: bench/run.sh [--build-dir DIR] [--runs N] [--seed S] [--large] [--no-callgrind]
#                     [--keep] [--reference EXE] [--web]
#
#   --build-dir DIR  configure (Release) and build in DIR instead of the "release" preset
#   --runs N         timed runs of each tool, alternately (default 5)
#   --seed S         generator seed (default 1)
#   --large          also time orbasm on 10,000,000 lines, alternately with the 1,000,000-line runs
#   --no-callgrind   skip the instruction counts (valgrind) on 100,000 lines
#   --keep           keep the temporary folder with the programs, images and objects
#   --reference EXE  check that the echo and the image of every program are byte-identical to
#                    those of another orbasm binary (say, the one before a change), and time it
#   --web            also time the browser playground in Chromium: its diagnostics of a
#                    10,000-line program after the last keystroke (builds the wasm preset)
#
# It reports:
#   - instructions per source line on the 100,000-line program (callgrind, the whole process)
#     of orbasm, as and the echo floor;
#   - at 1,000,000 lines, the median wall and CPU seconds of orbasm, as (on the equivalent x86-64
#     program) and the floor, run alternately; the peak RSS (/usr/bin/time -v) per source line;
#   - at 100,000 lines in the command-line form, the median wall seconds of the valid program and
#     of the same program with every 100th instruction line corrupted (-fmax-errors=0, so that
#     every error is reported): an error ends its line, not the run;
#   - with --large, orbasm at 10,000,000 lines and its time per line over that at 1,000,000;
#   - with --web, the playground's median delay from a keystroke to the diagnostics;
#   - a summary of the measures the team tracks against their targets.
# Every orbasm binary runs with ORBASM_READ_AHEAD=999999999999999 unless the variable is set:
# an older binary then reads on one thread as well. The exit status is 1 when an assembly fails,
# orbasm's image differs between runs, or the output differs from the reference binary's.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)

build_dir=""
runs=5
seed=1
large=0
callgrind=1
keep=0
reference=""
web=0
while [ $# -gt 0 ]; do
    case "$1" in
    --build-dir) build_dir=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --large) large=1; shift ;;
    --no-callgrind) callgrind=0; shift ;;
    --keep) keep=1; shift ;;
    --web) web=1; shift ;;
    --reference) reference=$(cd "$(dirname "$2")" && pwd)/$(basename "$2"); shift 2 ;;
    -h | --help) awk 'NR > 1 && /^set /{ exit } NR > 1' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
    esac
done
[ -z "$reference" ] || [ -x "$reference" ] || { echo "not an executable: $reference" >&2; exit 2; }

# A binary that still reads large sources on a second thread does so only from this many bytes.
export ORBASM_READ_AHEAD=${ORBASM_READ_AHEAD:-999999999999999}

# Tools: GNU time for the peak RSS (Debian package "time"), GNU as (binutils), valgrind.
need_packages=""
[ -x /usr/bin/time ] || need_packages="$need_packages time"
[ -x /usr/bin/as ] || need_packages="$need_packages binutils"
if [ "$callgrind" = 1 ] && ! command -v valgrind >/dev/null; then need_packages="$need_packages valgrind"; fi
if [ -n "$need_packages" ]; then
    echo "installing:$need_packages" >&2
    apt-get update >&2
    apt-get install -y $need_packages >&2
fi
gas=/usr/bin/as

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
commit=$(git -C "$root" describe --always --dirty 2>/dev/null || echo unknown)

work=$(mktemp -d "${TMPDIR:-/tmp}/orbasm-bench.XXXXXX")
if [ "$keep" = 1 ]; then echo "programs kept in $work" >&2; else trap 'rm -rf "$work"' EXIT; fi

status=0
fail() {
    echo "$*" >&2
    status=1
}

# The programs: orbasm's (p<lines>.asm) and the equivalent x86-64 one (x<lines>.s).
generate() { # lines
    echo "generating $1 lines" >&2
    python3 "$here/gen_program.py" "$1" "$seed" "$work/p$1.asm" 2>/dev/null
    if [ "$1" -le 1000000 ]; then python3 "$here/gen_x86.py" "$1" "$seed" "$work/x$1.s" 2>/dev/null; fi
}
small=100000
mid=1000000
big=10000000
generate $small
generate $mid
# The same 100,000 lines with every 100th instruction line misspelt: one error in every 100 lines.
awk '/^[ \t]+[a-z]/ && !/^[ \t]*(db|dw|dd|dsingle|ddouble|dextended) / { if (++n % 100 == 0) sub(/[a-z]/, "zz&") } { print }' \
    "$work/p$small.asm" >"$work/e$small.asm"
[ "$large" = 0 ] || generate $big

# Every tool once on every program: it must succeed, and the files come into the page cache.
check_runs() { # lines
    local p=$work/p$1.asm
    "$orbasm" "$p" >/dev/null </dev/null || { fail "orbasm failed on $p"; return; }
    "$floor" "$p" >/dev/null
    [ -n "$reference" ] || return 0
    # The same bytes out: the echo and the image of both binaries, compared by sha256.
    local ours theirs
    ours="$("$orbasm" "$p" </dev/null | sha256sum) $(sha256sum <"$p.orb")"
    theirs="$("$reference" "$p" </dev/null | sha256sum) $(sha256sum <"$p.orb")"
    if [ "$ours" = "$theirs" ]; then
        echo "$1 lines: echo and image identical to $reference" >&2
    else
        fail "$1 lines: echo or image DIFFERS from $reference"
    fi
}
for lines in $small $mid; do
    check_runs $lines
    "$gas" -o "$work/x$lines.o" "$work/x$lines.s" || fail "as failed on $work/x$lines.s"
done
[ "$large" = 0 ] || check_runs $big
[ "$status" = 0 ] || exit 1

# Instructions of the whole process under callgrind, on 100,000 lines.
instructions() { # tool command...
    local out=$work/callgrind.$1.out
    shift
    valgrind --tool=callgrind --callgrind-out-file="$out" "$@" >/dev/null 2>"$out.log" </dev/null ||
        { echo "callgrind failed: $* (see $out.log)" >&2; return 1; }
    sed -n 's/^totals: \([0-9]*\).*/\1/p; s/^summary: \([0-9]*\).*/\1/p' "$out" | head -n 1
}
declare -A ir
if [ "$callgrind" = 1 ]; then
    echo "counting instructions on $small lines" >&2
    p=$work/p$small.asm
    ir[orbasm]=$(instructions orbasm "$orbasm" "$p") || exit 1
    ir[as]=$(instructions as "$gas" -o "$work/callgrind.o" "$work/x$small.s") || exit 1
    ir[floor]=$(instructions floor "$floor" "$p") || exit 1
    [ -z "$reference" ] || ir[reference]=$(instructions reference "$reference" "$p") || exit 1
fi

# Runs the tools alternately, n times each; every group is "name output command..." with the
# groups separated by "--". Prints for every tool its name, the medians of wall and CPU (user +
# system, from the child's own rusage) seconds, and "yes" when its output file had the same
# sha256 after every run. The output is removed before each run, so each run writes it anew;
# the echo goes to /dev/null and stdin is empty, so a report never waits for Enter.
measure() { # n groups...
    python3 - "$@" <<'EOF'
import hashlib, os, statistics, subprocess, sys, time

n = int(sys.argv[1])
tools = []
group = []
for word in sys.argv[2:] + ["--"]:
    if word == "--":
        tools.append((group[0], group[1], group[2:]))
        group = []
    else:
        group.append(word)

def run(name, command):
    start = time.perf_counter()
    child = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL if name.endswith("_errors") else None)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status)
    # A program with errors fails, as it must.
    if code != (1 if name.endswith("_errors") else 0):
        sys.exit("failed: %s (exit %d)" % (" ".join(command), code))
    return wall, usage.ru_utime + usage.ru_stime

def sha256(name):
    digest = hashlib.sha256()
    with open(name, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()

times = {name: [] for name, _, _ in tools}
digests = {name: set() for name, _, _ in tools}
for _ in range(n):
    for name, output, command in tools:
        if output != "-" and os.path.exists(output):
            os.remove(output)
        times[name].append(run(name, command))
        if output != "-":
            digests[name].add(sha256(output))
for name, output, _ in tools:
    print(name, "%.6f" % statistics.median(t[0] for t in times[name]),
          "%.6f" % statistics.median(t[1] for t in times[name]),
          "yes" if len(digests[name]) <= 1 else "no")
EOF
}

p=$work/p$mid.asm
x=$work/x$mid.s
groups=(orbasm "$p.orb" "$orbasm" "$p" -- as "$x.o" "$gas" -o "$x.o" "$x" -- floor - "$floor" "$p")
[ -z "$reference" ] || groups+=(-- reference "$p.orb" "$reference" "$p")
[ "$large" = 0 ] || groups+=(-- orbasm_10M "$work/p$big.asm.orb" "$orbasm" "$work/p$big.asm")
echo "timing $mid lines, $runs runs of each tool" >&2
declare -A wall cpu same rss lines_of
while read -r name w c s; do
    wall[$name]=$w
    cpu[$name]=$c
    same[$name]=$s
done < <(measure "$runs" "${groups[@]}" || true)
[ -n "${wall[orbasm]:-}" ] || { echo "timing failed" >&2; exit 1; }
[ "${same[orbasm]}" = yes ] || fail "orbasm's image differed between runs"
[ "${same[orbasm_10M]:-yes}" = yes ] || fail "orbasm's image of $big lines differed between runs"

# Peak resident set size in kB, from GNU time.
peak_rss() { # command...
    /usr/bin/time -v "$@" 2>&1 >/dev/null </dev/null |
        sed -n 's/^[[:space:]]*Maximum resident set size (kbytes): //p'
}
rss[orbasm]=$(peak_rss "$orbasm" "$p")
rss[as]=$(peak_rss "$gas" -o "$x.o" "$x")
[ -z "$reference" ] || rss[reference]=$(peak_rss "$reference" "$p")
[ "$large" = 0 ] || rss[orbasm_10M]=$(peak_rss "$orbasm" "$work/p$big.asm")
for name in orbasm as floor reference; do lines_of[$name]=$mid; done

# Errors: the valid 100,000 lines against the same lines with one error in every 100, both in the
# command-line form. Every corrupted line must be reported.
e=$work/e$small.asm
corrupted=$(diff "$work/p$small.asm" "$e" | grep -c '^>' || true)
reported=$("$orbasm" -fmax-errors=0 -o "$work/e.orb" "$e" 2>&1 >/dev/null | grep -c ': error: ' || true)
[ "$reported" = "$corrupted" ] || fail "$corrupted lines in error, $reported errors reported"
echo "timing $small lines with and without errors, $runs runs of each" >&2
while read -r name w c s; do
    wall[$name]=$w
done < <(measure "$runs" valid "$work/v.orb" "$orbasm" -o "$work/v.orb" "$work/p$small.asm" -- \
    with_errors - "$orbasm" -fmax-errors=0 -o "$work/e.orb" "$e" || true)
[ -n "${wall[with_errors]:-}" ] || { echo "timing with errors failed" >&2; exit 1; }
lines_of[orbasm_10M]=$big
pass_count=$("$passes" "$p" | sed -n 's/^layout_passes //p')

echo
echo "orbasm $commit ($orbasm), seed $seed, ORBASM_READ_AHEAD=$ORBASM_READ_AHEAD"
if [ "$callgrind" = 1 ]; then
    echo
    echo "instructions on $small lines (callgrind, whole process):"
    for name in orbasm as floor reference; do
        [ -n "${ir[$name]:-}" ] || continue
        awk -v n="$name" -v t="${ir[$name]}" -v l=$small 'BEGIN { printf "  %-16s %14d  %9.1f per line\n", n, t, t / l }'
    done
fi
echo
echo "$mid lines, $runs runs of each tool alternately, medians:"
printf '  %-16s %9s %9s %9s %10s %8s\n' tool "wall s" "cpu s" "ns/line" "peak MB" "B/line"
for name in orbasm as floor reference orbasm_10M; do
    [ -n "${wall[$name]:-}" ] || continue
    label=$name
    [ "$name" = orbasm_10M ] && label="orbasm $big"
    awk -v n="$label" -v w="${wall[$name]}" -v c="${cpu[$name]}" -v r="${rss[$name]:-}" -v l="${lines_of[$name]}" 'BEGIN {
        if (r == "") printf "  %-16s %9.4f %9.4f %9.1f %10s %8s\n", n, w, c, w * 1e9 / l, "-", "-"
        else printf "  %-16s %9.4f %9.4f %9.1f %10.1f %8.1f\n", n, w, c, w * 1e9 / l, r * 1024 / 1e6, r * 1024 / l }'
done
echo "  layout passes: $pass_count; orbasm's image the same in every run: ${same[orbasm]}"
echo
echo "$small lines in the command-line form, $runs runs of each alternately, medians:"
awk -v v="${wall[valid]}" -v e="${wall[with_errors]}" -v n="$corrupted" 'BEGIN {
    printf "  %-38s %9.4f s\n", "valid", v
    printf "  %-38s %9.4f s\n", "1 line in 100 in error (" n " errors)", e }'

web_ms=""
if [ "$web" = 1 ]; then
    echo "timing the playground in Chromium" >&2
    (cd "$root" && tools/setup.sh --web && cmake --preset wasm >/dev/null && cmake --build --preset wasm >/dev/null)
    web_line=$(node "$root/web/tests/latency.mjs")
    echo
    echo "$web_line"
    web_ms=$(printf '%s\n' "$web_line" | sed -n 's/.* program \([0-9.]*\) ms after.*/\1/p')
fi

echo
printf '%-44s %9s %9s %4s\n' summary measured target met
row() { # what value target-or-empty
    awk -v w="$1" -v v="$2" -v t="${3:-}" 'BEGIN {
        if (t == "") printf "%-44s %9s %9s %4s\n", w, v, "-", "-"
        else printf "%-44s %9s %9s %4s\n", w, v, "<= " t, (v + 0 <= t + 0) ? "yes" : "no" }'
}
[ "$callgrind" = 0 ] || row "instructions per line, $small lines" "$(awk -v t="${ir[orbasm]}" -v l=$small 'BEGIN { printf "%.1f", t / l }')"
row "wall time orbasm / as, $mid lines" "$(awk -v o="${wall[orbasm]}" -v a="${wall[as]}" 'BEGIN { printf "%.3f", o / a }')" 0.6
row "wall time 1% lines in error / valid, $small" "$(awk -v e="${wall[with_errors]}" -v v="${wall[valid]}" 'BEGIN { printf "%.2f", e / v }')" 2
row "peak RSS bytes per line, $mid lines" "$(awk -v r="${rss[orbasm]}" -v l=$mid 'BEGIN { printf "%.1f", r * 1024 / l }')" 90
[ "$large" = 0 ] || row "time per line $big / $mid lines" \
    "$(awk -v b="${wall[orbasm_10M]}" -v m="${wall[orbasm]}" -v bl=$big -v ml=$mid 'BEGIN { printf "%.3f", (b / bl) / (m / ml) }')" 1.15
[ "$web" = 0 ] || row "playground diagnostics after a key, ms" "$web_ms" 100
row "wall time orbasm / floor, $mid lines" "$(awk -v o="${wall[orbasm]}" -v f="${wall[floor]}" 'BEGIN { printf "%.2f", o / f }')"
exit $status
