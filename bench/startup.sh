#!/usr/bin/env bash
# Start-up cost of a whole run: the program against a static C program that
# only copies standard input into a file and renames it, both on a 2 KB
# input, interleaved, medians over RUNS runs (default 101).
#   bench/startup.sh [PROGRAM] [RUNS]
# PROGRAM defaults to build/release/obrelix-statusline (build it first with
# `cmake --preset release && cmake --build --preset release`).
set -euo pipefail
cd "$(dirname "$0")/.."

program=$(realpath "${1:-build/release/obrelix-statusline}")
runs=${2:-101}
((runs >= 30)) || { echo "use at least 30 runs" >&2; exit 2; }
[[ -x $program ]] || { echo "no program at $program; build it first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cc -O2 -static -o "$work/baseline" bench/startup_baseline.c
cc -O2 -o "$work/driver" bench/startup_driver.c

# A 2 KB session object of the kind a host tool sends.
python3 - "$work/input.json" <<'PY'
import json, sys
state = {"session_id": "bench-session-0001", "model": {"id": "m-large", "name": "Large"},
         "workspace": {"current_dir": "/home/user/project", "project_dir": "/home/user/project"},
         "cost": {"total_cost_usd": 0.0123, "total_duration_ms": 45213, "lines_added": 120},
         "version": "1.2.3", "transcript_path": "/home/user/.cache/t/0001.jsonl"}
text = json.dumps(state)
state["notes"] = "x" * (2048 - len(text) - len(', "notes": ""'))
text = json.dumps(state)
assert len(text) == 2048, len(text)
open(sys.argv[1], "w").write(text)
PY
mkdir -p "$work/program" "$work/baseline-dir"

echo "program: $program ($(file -b "$program" | cut -d, -f1-4))"
"$work/driver" "$runs" "$work/input.json" "$work/program" "$program" \
  "$work/baseline-dir" "$work/baseline"
