#!/usr/bin/env python3
"""Latency of the orbls language server on a large program.

Usage: lsp_latency.py [--server PATH] [--lines N] [--edits K] [--seed S]

Generates an N-line program (gen_program.py's generator, default 10,000 lines, seed 1; below the
16,423 lines that its segments of 1,024 labels need, with segments of 512 labels), opens it in orbls
over standard input and output, then makes K edits (default 40), one at a time: each inserts a
blank at the start of a line, which keeps the program valid, 100 ms after the diagnostics of
the one before. For each edit it takes the time from writing the didChange notification to
reading the publishDiagnostics of that version, and prints the median, the 90th percentile and
the largest. Bursts of five edits written 2 ms apart (the server waits for a burst to pause)
are measured the same way, from their last edit. The target is 20 ms for 10,000 lines.
Exit status 1 when the server publishes a diagnostic or does not answer.
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def send(server, message):
    body = json.dumps(message).encode()
    server.stdin.write(b"Content-Length: %d\r\n\r\n" % len(body) + body)
    server.stdin.flush()


def receive(server):
    header = b""
    while not header.endswith(b"\r\n\r\n"):
        byte = server.stdout.read(1)
        if not byte:
            sys.exit("the server ended")
        header += byte
    length = int(header.split(b"Content-Length:")[1].split(b"\r\n")[0])
    return json.loads(server.stdout.read(length))


def diagnostics_of_version(server, version):
    """Reads messages up to the diagnostics of the given version of the document."""
    while True:
        message = receive(server)
        if message.get("method") != "textDocument/publishDiagnostics":
            continue
        if message["params"].get("version") == version:
            if message["params"]["diagnostics"]:
                sys.exit("unexpected diagnostics: %s" % message["params"]["diagnostics"][:2])
            return


def insert_blank(uri, version, line):
    position = {"line": line, "character": 0}
    return {"jsonrpc": "2.0", "method": "textDocument/didChange",
            "params": {"textDocument": {"uri": uri, "version": version},
                       "contentChanges": [{"range": {"start": position, "end": position}, "text": " "}]}}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--server", default=os.path.join(HERE, "..", "build", "release", "tools", "orbls"))
    parser.add_argument("--lines", type=int, default=10000)
    parser.add_argument("--edits", type=int, default=40)
    parser.add_argument("--seed", type=int, default=1)
    options = parser.parse_args()

    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "program.asm")
        sys.path.insert(0, HERE)
        import gen_program
        # A far jump needs a second segment: 16 lines a label of segment, two segments at least.
        if options.lines < 16 * gen_program.SEGMENT_LABELS + 100:
            gen_program.SEGMENT_LABELS = 512
        with open(path, "wb") as out:
            gen_program.generate(options.lines, options.seed, out)
        with open(path, "rb") as source:
            text = source.read().decode("latin-1")
        uri = "file://" + path
        server = subprocess.Popen([os.path.abspath(options.server)], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  cwd=folder)
        send(server, {"jsonrpc": "2.0", "id": 1, "method": "initialize",
                      "params": {"processId": None, "rootUri": "file://" + folder, "capabilities": {}}})
        receive(server)
        send(server, {"jsonrpc": "2.0", "method": "initialized", "params": {}})
        started = time.perf_counter()
        send(server, {"jsonrpc": "2.0", "method": "textDocument/didOpen",
                      "params": {"textDocument": {"uri": uri, "languageId": "orbasm", "version": 1, "text": text}}})
        diagnostics_of_version(server, 1)
        opened = (time.perf_counter() - started) * 1000

        version = 1
        times = []
        for edit in range(options.edits):
            version += 1
            message = insert_blank(uri, version, (edit * 97) % options.lines)
            started = time.perf_counter()
            send(server, message)
            diagnostics_of_version(server, version)
            times.append((time.perf_counter() - started) * 1000)
            time.sleep(0.1)
        bursts = []
        for burst in range(5):
            for edit in range(5):
                version += 1
                send(server, insert_blank(uri, version, (burst * 31 + edit) % options.lines))
                started = time.perf_counter()
                if edit < 4:
                    time.sleep(0.002)
            diagnostics_of_version(server, version)
            bursts.append((time.perf_counter() - started) * 1000)
            time.sleep(0.1)

        send(server, {"jsonrpc": "2.0", "id": 2, "method": "shutdown"})
        receive(server)
        send(server, {"jsonrpc": "2.0", "method": "exit"})
        server.wait(timeout=10)

    times.sort()
    print("orbls, %d lines: didOpen to diagnostics %.1f ms" % (options.lines, opened))
    print("didChange to publishDiagnostics over %d edits: median %.1f ms, 90th percentile %.1f ms, largest %.1f ms"
          % (len(times), statistics.median(times), times[int(len(times) * 0.9) - 1], times[-1]))
    print("last edit of a burst of five to publishDiagnostics: median %.1f ms, largest %.1f ms"
          % (statistics.median(bursts), max(bursts)))


if __name__ == "__main__":
    main()
