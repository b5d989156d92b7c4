#!/usr/bin/env python3
"""Fails on an include cycle between the folders of src/ (argument: the src folder).

Every `#include "folder/..."` in a file of src/FOLDER/ is an edge FOLDER -> folder; the folders
must read as layers, so the graph may hold no cycle. Prints each cycle with a file of every step.
"""
import pathlib
import re
import sys

src = pathlib.Path(sys.argv[1])
edges = {}  # folder -> {included folder: a file that includes it}
for path in sorted(p for p in src.rglob("*") if p.suffix in (".h", ".cpp") and p.parent != src):
    folder = path.relative_to(src).parts[0]
    for target in re.findall(r'^\s*#\s*include\s+"([^/"]+)/', path.read_text(errors="replace"), re.M):
        if target != folder and (src / target).is_dir():
            edges.setdefault(folder, {}).setdefault(target, path.relative_to(src))

cycles, state = [], {}  # state: "open" while on the path of the search, "done" after


def visit(folder, path):
    state[folder] = "open"
    for target in sorted(edges.get(folder, {})):
        if state.get(target) == "open":
            steps = path[path.index(target):] + [target]
            cycles.append(" -> ".join(f"{a} ({edges[a][b]})" for a, b in zip(steps, steps[1:])) + " -> " + target)
        elif target not in state:
            visit(target, path + [target])
    state[folder] = "done"


for folder in sorted(edges):
    if folder not in state:
        visit(folder, [folder])
print("\n".join("include cycle: " + cycle for cycle in cycles) or f"{len(edges)} folders include others, in layers")
sys.exit(1 if cycles or not edges else 0)
