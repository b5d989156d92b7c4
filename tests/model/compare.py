#!/usr/bin/env python3
"""Differential comparison of the orbasm binary with the independent model (orbmodel.py).

Usage: compare.py BINARY [--seed S] [--count N] [--jobs J] [--max-report K] [--no-shrink]

For every seed from S to S+N-1 a program is generated (gen_programs.py), written into a fresh
temporary directory, and assembled by the binary (standard input /dev/null) and by the model.
Standard output, exit code and image must agree byte for byte. Every mismatch is printed with
its program, shrunk to a smallest set of main-file lines that still disagrees. The last line is
"N passed, M failed"; the exit code is 1 when anything failed.
"""

import argparse
import multiprocessing
import os
import resource
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_programs  # noqa: E402
import orbmodel  # noqa: E402

FILE_SIZE_LIMIT = 64 * 1024 * 1024
BINARY = None


def limit_file_size():
    resource.setrlimit(resource.RLIMIT_FSIZE, (FILE_SIZE_LIMIT, FILE_SIZE_LIMIT))


def run_binary(directory, name, stdin_main):
    """Runs the binary on the named source, or with no argument and the source on stdin."""
    image_path = os.path.join(directory, name + '.orb')
    try:
        if stdin_main:
            with open(os.path.join(directory, 'prog.asm'), 'rb') as source:
                done = subprocess.run([BINARY], cwd=directory, stdin=source, stdout=subprocess.PIPE,
                                      stderr=subprocess.PIPE, timeout=60, preexec_fn=limit_file_size)
        else:
            with open(os.devnull, 'rb') as null:
                done = subprocess.run([BINARY, name], cwd=directory, stdin=null, stdout=subprocess.PIPE,
                                      stderr=subprocess.PIPE, timeout=60, preexec_fn=limit_file_size)
        out, code = done.stdout, done.returncode
    except subprocess.TimeoutExpired:
        out, code = b'<timeout>', -999
    image = None
    if os.path.isfile(image_path):
        with open(image_path, 'rb') as f:
            image = f.read()
    return out, code, image


def run_both(program):
    directory = tempfile.mkdtemp(prefix='orbmodel_')
    try:
        gen_programs.write_program(program, directory)
        if program.get('stdin_main'):
            source = gen_programs.render_main(program['lines'])
            model = orbmodel.assemble('', directory, source, FILE_SIZE_LIMIT)
            binary = run_binary(directory, '', True)
        else:
            model = orbmodel.assemble(program['main'], directory, b'', FILE_SIZE_LIMIT)
            binary = run_binary(directory, program['main'], False)
    finally:
        shutil.rmtree(directory, ignore_errors=True)
    return model, binary


def differs(model, binary):
    return model[0] != binary[0] or model[1] != binary[1] or model[2] != binary[2]


def shrink(program, budget=400):
    """Removes main-file lines while the disagreement persists."""
    lines = list(program['lines'])
    tries = 0

    def still_fails(candidate):
        nonlocal tries
        tries += 1
        trial = dict(program, lines=candidate)
        model, binary = run_both(trial)
        return differs(model, binary)

    chunk = max(1, len(lines) // 2)
    while chunk >= 1 and tries < budget:
        i = 0
        changed = False
        while i < len(lines) and tries < budget:
            candidate = lines[:i] + lines[i + chunk:]
            if candidate and still_fails(candidate):
                lines = candidate
                changed = True
            else:
                i += chunk
        if not changed:
            chunk //= 2
    # Simpler line ends where possible.
    if tries < budget:
        candidate = [(text, '\r\n') for text, _ in lines]
        if candidate != lines and still_fails(candidate):
            lines = candidate
    return dict(program, lines=lines)


def show_bytes(data):
    if data is None:
        return '(no image)'
    if len(data) > 256:
        return data[:256].hex(' ') + ' ... (%d bytes)' % len(data)
    return data.hex(' ') if data else '(empty image)'


def describe(program, model, binary):
    out = ['=' * 72, 'MISMATCH seed %d (mode %s%s)' % (program['seed'], program['mode'],
                                                     ', source on standard input' if program.get('stdin_main') else ''),
           '--- main file %s (line ends shown as \\r \\n):' % program['main']]
    for text, end in program['lines']:
        out.append('    ' + repr(text + end)[1:-1])
    for name, data in program['files'].items():
        out.append('--- file %s:' % name)
        for line in data.decode('latin-1').splitlines(True):
            out.append('    ' + repr(line)[1:-1])
    for name in program['dirs']:
        out.append('--- directory %s' % name)
    if model[1] != binary[1]:
        out.append('exit code: model %d, binary %d' % (model[1], binary[1]))
    if model[0] != binary[0]:
        m_lines = model[0].decode('latin-1').split('\n')
        b_lines = binary[0].decode('latin-1').split('\n')
        for i in range(max(len(m_lines), len(b_lines))):
            a = m_lines[i] if i < len(m_lines) else '<none>'
            b = b_lines[i] if i < len(b_lines) else '<none>'
            if a != b:
                out.append('stdout line %d:\n  model : %r\n  binary: %r' % (i + 1, a, b))
        tail_m = [l for l in m_lines if l.startswith(('Error', 'File', 'Line', 'Fault'))]
        tail_b = [l for l in b_lines if l.startswith(('Error', 'File', 'Line', 'Fault'))]
        out.append('model report : %r' % tail_m)
        out.append('binary report: %r' % tail_b)
    if model[2] != binary[2]:
        out.append('image model : ' + show_bytes(model[2]))
        out.append('image binary: ' + show_bytes(binary[2]))
        if model[2] is not None and binary[2] is not None:
            for i in range(min(len(model[2]), len(binary[2]))):
                if model[2][i] != binary[2][i]:
                    out.append('first differing byte at offset %d (0x%x)' % (i, i))
                    break
    return '\n'.join(out)


def check_seed(seed):
    program = gen_programs.generate(seed)
    model, binary = run_both(program)
    stats = model[3]
    summary = (seed, program['mode'], model[1], stats['stage'])
    if not differs(model, binary):
        return True, summary, None
    return False, summary, program


def init_worker(binary):
    global BINARY
    BINARY = binary


def main():
    global BINARY
    parser = argparse.ArgumentParser()
    parser.add_argument('binary')
    parser.add_argument('--seed', type=int, default=1)
    parser.add_argument('--count', type=int, default=1000)
    parser.add_argument('--jobs', type=int, default=2)
    parser.add_argument('--max-report', type=int, default=10)
    parser.add_argument('--no-shrink', action='store_true')
    parser.add_argument('--stats', action='store_true')
    args = parser.parse_args()
    BINARY = os.path.abspath(args.binary)

    seeds = range(args.seed, args.seed + args.count)
    passed = failed = 0
    failures = []
    codes = {0: 0, 1: 0}
    stages = {}
    modes = {}
    if args.jobs > 1:
        pool = multiprocessing.Pool(args.jobs, init_worker, (BINARY,))
        results = pool.imap_unordered(check_seed, seeds, chunksize=8)
    else:
        pool = None
        results = map(check_seed, seeds)
    for ok, summary, program in results:
        seed, mode, code, stage = summary
        codes[code] = codes.get(code, 0) + 1
        stages[stage] = stages.get(stage, 0) + 1
        modes[mode] = modes.get(mode, 0) + 1
        if ok:
            passed += 1
        else:
            failed += 1
            failures.append(program)
    if pool:
        pool.close()
        pool.join()

    failures.sort(key=lambda p: p['seed'])
    for program in failures[:args.max_report]:
        if not args.no_shrink:
            program = shrink(program)
        model, binary = run_both(program)
        print(describe(program, model, binary))
    if len(failures) > args.max_report:
        print('(%d more failing seeds: %s)' % (len(failures) - args.max_report,
                                               ' '.join(str(p['seed']) for p in failures[args.max_report:])))
    if args.stats:
        print('exit codes %s; layout stages %s; modes %s' % (codes, stages, modes))
    print('%d passed, %d failed' % (passed, failed))
    sys.exit(1 if failed else 0)


if __name__ == '__main__':
    main()
