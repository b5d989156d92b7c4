#!/usr/bin/env python3
"""Fails on an include cycle between the folders of src/ (argument: the src folder), and on a
tool that reaches into the core.

Every `#include "folder/..."` in a file of src/FOLDER/ is an edge FOLDER -> folder; the folders
must read as layers, so the graph may hold no cycle. Prints each cycle with a file of every step.
The tools (src/tools, src/disasm, src/web) include of the core only its face and the word lists,
and name none of the run's own records or globals.
"""
import pathlib
import re
import sys

src = pathlib.Path(sys.argv[1])
edges = {}  # folder -> {included folder: a file that includes it}
tools = ("tools", "disasm", "web")
face = ("driver/orbasm.h", "base/words.h")
internals = re.compile(r"(?<![\w.>])(t_item|head_item|kind_\w+|t_rb_node|t_rb_data|symbol_root|sentinel_node|"
                       r"line_records|t_line_record|symbol_uses|run_assembly|diagnostic_here|classic_report|"
                       r"warnings_wanted|warnings_off|warnings_are_errors|max_errors|console_capture|echo_enabled|"
                       r"include_dirs|include_base|source_texts|command_line_constants|listing_enabled|"
                       r"symbol_uses_wanted|only_regular_files|image_name|diagnostics)\b")
faults = []
for path in sorted(p for p in src.rglob("*") if p.suffix in (".h", ".cpp") and p.parent != src):
    folder = path.relative_to(src).parts[0]
    text = path.read_text(errors="replace")
    if folder in tools:
        for header in re.findall(r'^\s*#\s*include\s+"([^"]+)"', text, re.M):
            if header.split("/")[0] not in tools and header not in face:
                faults.append(f"{path.relative_to(src)} includes the core's {header}")
        code = re.sub(r"//.*|\"(?:[^\"\\\n]|\\.)*\"", "", text)
        for name in sorted(set(internals.findall(code))):
            faults.append(f"{path.relative_to(src)} names the core's {name}")
    for target in re.findall(r'^\s*#\s*include\s+"([^/"]+)/', text, re.M):
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
print("\n".join(["include cycle: " + cycle for cycle in cycles] + faults)
      or f"{len(edges)} folders include others, in layers; the tools only through the face")
sys.exit(1 if cycles or faults or not edges else 0)
