#!/usr/bin/env python3
"""Random programs of the model comparison's generator for the playground's tests, as JSON.

Usage: random_programs.py SEED COUNT

Prints [{"seed", "main", "files": {name: base64}}] for the seeds SEED to SEED+COUNT-1, leaving out
the programs that read standard input or need folders: the page has neither.
"""

import base64
import json
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'tests', 'model'))
import gen_programs  # noqa: E402


def main():
    first, count = int(sys.argv[1]), int(sys.argv[2])
    programs = []
    for seed in range(first, first + count):
        program = gen_programs.generate(seed)
        files = dict(program['files'])
        files[program['main']] = gen_programs.render_main(program['lines'])
        if program['stdin_main'] or program['dirs'] or any(b"''" in t or b'""' in t for t in files.values()):
            continue
        programs.append({'seed': seed, 'main': program['main'],
                         'files': {name: base64.b64encode(text).decode() for name, text in files.items()}})
    json.dump(programs, sys.stdout)


if __name__ == '__main__':
    main()
