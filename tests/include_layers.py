#!/usr/bin/env python3
"""Fails when the folders of src/ include each other in a cycle.

Every `#include "folder/..."` line of a file in src/FOLDER/ is an edge FOLDER -> folder; the
folders must form a graph without a cycle, so that the folder list reads as the run's layers.
Prints each cycle found, as a path of folders with the file that closes each step.
"""
import pathlib
import re
import sys

src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parents[1] / "src")
include = re.compile(r'^\s*#\s*include\s+"([^/"]+)/')
edges = {}  # folder -> {included folder: a file that includes it}
for path in sorted(src.rglob("*")):
    if path.suffix not in (".h", ".cpp") or path.parent == src:
        continue
    folder = path.relative_to(src).parts[0]
    edges.setdefault(folder, {})
    for line in path.read_text(encoding="utf-8", errors="replace").splitlines():
        match = include.match(line)
        if match and match.group(1) != folder and (src / match.group(1)).is_dir():
            edges[folder].setdefault(match.group(1), str(path.relative_to(src)))

# Depth-first search; a folder met again while on the path closes a cycle.
cycles = []
state = {}  # folder -> "open" while on the path, "done" after


def visit(folder, path):
    state[folder] = "open"
    for target in sorted(edges.get(folder, {})):
        if state.get(target) == "open":
            cycle = path[path.index(target):] + [target]
            cycles.append(" -> ".join(f"{a} ({edges[a][b]})" for a, b in zip(cycle, cycle[1:])) + f" -> {target}")
        elif target not in state:
            visit(target, path + [target])
    state[folder] = "done"


for folder in sorted(edges):
    if folder not in state:
        visit(folder, [folder])
for cycle in cycles:
    print("include cycle:", cycle)
if not edges:
    print("no folders under", src)
    sys.exit(1)
sys.exit(1 if cycles else 0)
