#!/usr/bin/env python3
"""Times whole runs of the program against two reference points it builds
itself, on three inputs, and prints a Markdown table.

  bench/whole_run.py [PROGRAM] [--rounds N]

PROGRAM defaults to build/release/obrelix-statusline (build it first with
`cmake --preset release && cmake --build --preset release`).

The references:
  - floor: bench/startup_baseline.c, a static C program that copies standard
    input to `.bench.<pid>.tmp` and renames it onto `bench.json` without
    parsing (every input here has the session identifier `bench`, so it
    writes the very names the program writes);
  - python: what a user would write instead, the standard `json` module
    doing the same job.

Each command runs with standard input from the input file and its own
context directory; the commands take turns round by round (the order
rotating each round) so all see the same machine state. Reported: the median
wall time, its ratio to each reference, and the median peak resident memory
and minor page faults of the process (from wait4). bench/startup_driver.c,
built static, starts and measures each run: a child started straight from
this interpreter would report the interpreter's peak memory as its own.
"""

import argparse
import json
import os
import random
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SESSION_ID = "bench"
INPUT_LIMIT = 1 << 20

PYTHON_REFERENCE = r'''
import datetime, json, os, sys
data = sys.stdin.buffer.read(1 << 20)
try:
    document = json.loads(data)
except ValueError:
    sys.exit(0)
session_id = document.get("session_id") if isinstance(document, dict) else None
directory = os.environ.get("OBRELIX_CONTEXT_DIR")
if not isinstance(session_id, str) or not directory:
    sys.exit(0)
now = datetime.datetime.now(datetime.timezone.utc)
document["session_id"] = session_id
document["timestamp"] = now.strftime("%Y-%m-%dT%H:%M:%SZ")
text = json.dumps(document, separators=(",", ":"), sort_keys=True, ensure_ascii=False)
temporary = os.path.join(directory, ".%s.%d.tmp" % (session_id, os.getpid()))
with open(temporary, "w", encoding="utf-8") as out:
    out.write(text)
os.replace(temporary, os.path.join(directory, session_id + ".json"))
'''


def session_input():
    """A 2048-byte session object of the kind a host tool sends."""
    state = {
        "session_id": SESSION_ID,
        "model": {"id": "m-large", "display_name": "Large"},
        "workspace": {"current_dir": "/home/user/project", "project_dir": "/home/user/project"},
        "cost": {"total_cost_usd": 0.0123, "total_duration_ms": 45213, "lines_added": 120,
                 "lines_removed": 7},
        "version": "1.2.3",
        "transcript_path": "/home/user/.cache/t/0001.jsonl",
        "exceeds_200k_tokens": False,
        "output_style": {"name": "default"},
    }
    text = json.dumps(state)
    state["notes"] = "x" * (2048 - len(text) - len(', "notes": ""'))
    text = json.dumps(state)
    assert len(text) == 2048, len(text)
    return text.encode()


def random_string(rng):
    pieces = []
    for _ in range(rng.randint(1, 24)):
        roll = rng.random()
        if roll < 0.80:
            pieces.append(rng.choice("abcdefghijklmnopqrstuvwxyz0123456789 _-/"))
        elif roll < 0.88:
            pieces.append(rng.choice('"\\\n\t\u0001'))
        else:
            pieces.append(rng.choice("\u00e9\u00fc\u0416\u4e2d\u2603\U0001f600"))
    return "".join(pieces)


def random_double(rng):
    while True:
        value = struct.unpack("<d", rng.getrandbits(64).to_bytes(8, "little"))[0]
        if value == value and abs(value) != float("inf"):
            return value


def mixed_value(rng, depth):
    roll = rng.random()
    if depth < 6 and roll < 0.12:
        return {random_string(rng): mixed_value(rng, depth + 1) for _ in range(rng.randint(5, 30))}
    if depth < 6 and roll < 0.20:
        return [mixed_value(rng, depth + 1) for _ in range(rng.randint(0, 12))]
    roll = rng.random()
    if roll < 0.25:
        return random_double(rng) if rng.random() < 0.3 else rng.uniform(-1e6, 1e6)
    if roll < 0.50:
        if rng.random() < 0.2:
            return rng.randint(-(1 << 63), (1 << 64) - 1)
        return rng.randint(-999, 99999)
    if roll < 0.60:
        return rng.random() < 0.5
    if roll < 0.65:
        return None
    return random_string(rng)


def fill(make_member, rng, target):
    """An object with the session identifier and members from `make_member`
    until its compact text is just below `target` bytes."""
    document = {"session_id": SESSION_ID}
    size = len(json.dumps(document, separators=(",", ":"), ensure_ascii=False).encode())
    index = 0
    misses = 0
    # A member too large for the room left is passed over for smaller ones.
    while misses < 200:
        key, value = make_member(rng, index)
        index += 1
        member = json.dumps({key: value}, separators=(",", ":"), ensure_ascii=False).encode()
        if size + len(member) - 1 > target:
            misses += 1
            continue
        document[key] = value
        size += len(member) - 1
    return json.dumps(document, separators=(",", ":"), ensure_ascii=False).encode()


def mixed_input():
    rng = random.Random(20261211)
    return fill(lambda r, i: ("k%05d" % i, {random_string(r): mixed_value(r, 1)
                                           for _ in range(r.randint(5, 30))}),
                rng, INPUT_LIMIT - 4096)


def float_input():
    rng = random.Random(1601)

    def member(r, i):
        values = [random_double(r) if r.random() < 0.95 else r.randint(-99999, 99999)
                  for _ in range(64)]
        return "f%05d" % i, values

    return fill(member, rng, INPUT_LIMIT - 4096)


def build_floor(work):
    floor = os.path.join(work, "floor")
    subprocess.run(["cc", "-O2", "-static", "-o", floor,
                    os.path.join(ROOT, "bench", "startup_baseline.c")], check=True)
    return [floor]


def build_python(work):
    script = os.path.join(work, "reference.py")
    with open(script, "w") as out:
        out.write(PYTHON_REFERENCE)
    return [sys.executable, script]


def build_driver(work):
    driver = os.path.join(work, "driver")
    subprocess.run(["cc", "-O2", "-static", "-o", driver,
                    os.path.join(ROOT, "bench", "startup_driver.c")], check=True)
    return driver


def run_once(driver, argv, input_path, directory):
    """Wall time in seconds, peak resident memory in KiB, minor faults."""
    measured = subprocess.run([driver, "--once", input_path, directory] + argv,
                              stdout=subprocess.PIPE, check=False)
    if measured.returncode != 0:
        sys.exit("%s failed" % argv[0])
    micros, peak, faults = measured.stdout.split()
    return float(micros) / 1e6, int(peak), int(faults)


def check_published(name, directory):
    entries = os.listdir(directory)
    if entries != [SESSION_ID + ".json"]:
        sys.exit("%s left %s in its directory, not just %s.json" % (name, entries, SESSION_ID))
    if name == "floor":
        return
    with open(os.path.join(directory, SESSION_ID + ".json"), "rb") as published:
        snapshot = json.loads(published.read())
    if snapshot.get("session_id") != SESSION_ID or "timestamp" not in snapshot:
        sys.exit("%s published no snapshot" % name)


def format_ms(seconds):
    return "%.2f ms" % (seconds * 1e3)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("program", nargs="?",
                        default=os.path.join(ROOT, "build", "release", "obrelix-statusline"))
    parser.add_argument("--rounds", type=int, default=31)
    options = parser.parse_args()
    if options.rounds < 30:
        sys.exit("use at least 30 rounds")
    program = os.path.realpath(options.program)
    if not os.access(program, os.X_OK):
        sys.exit("no program at %s; build it first" % program)

    work = tempfile.mkdtemp(prefix="whole_run.")
    try:
        driver = build_driver(work)
        commands = {"program": [program], "floor": build_floor(work),
                    "python": build_python(work)}
        inputs = {"2 KB session": session_input(), "1 MiB mixed": mixed_input(),
                  "1 MiB floats": float_input()}
        paths = {}
        for index, (label, data) in enumerate(inputs.items()):
            assert len(data) <= INPUT_LIMIT, (label, len(data))
            paths[label] = os.path.join(work, "input%d.json" % index)
            with open(paths[label], "wb") as out:
                out.write(data)
        directories = {name: os.path.join(work, "ctx-" + name) for name in commands}
        for directory in directories.values():
            os.mkdir(directory)

        names = list(commands)
        results = {}
        for label, input_path in paths.items():
            samples = {name: [] for name in names}
            # Warm the page cache and the file-system paths first.
            for name in names:
                for _ in range(3):
                    run_once(driver, commands[name], input_path, directories[name])
                check_published(name, directories[name])
            for round_index in range(options.rounds):
                shift = round_index % len(names)
                for name in names[shift:] + names[:shift]:
                    samples[name].append(
                        run_once(driver, commands[name], input_path, directories[name]))
            for name in names:
                check_published(name, directories[name])
            results[label] = {
                name: tuple(statistics.median(sample[field] for sample in samples[name])
                            for field in range(3))
                for name in names
            }

        print("Whole runs, median of %d rounds; program: %s" % (options.rounds, program))
        print()
        print("| input | program | floor (C copy) | python json | program / floor "
              "| program / python | peak RSS program / floor / python | minor faults "
              "program / floor / python |")
        print("|---|---:|---:|---:|---:|---:|---:|---:|")
        for label, figures in results.items():
            p, f, y = figures["program"], figures["floor"], figures["python"]
            print("| %s | %s | %s | %s | %.2f× | %.3f× | %.1f / %.1f / %.1f MiB | %d / %d / %d |"
                  % (label, format_ms(p[0]), format_ms(f[0]), format_ms(y[0]), p[0] / f[0],
                     p[0] / y[0], p[1] / 1024, f[1] / 1024, y[1] / 1024, p[2], f[2], y[2]))
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
