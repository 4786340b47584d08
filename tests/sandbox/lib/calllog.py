#!/usr/bin/python3
"""Reads the sandbox's call log from outside (for lib.sh):
  calllog.py LOG show [PROG]                  one line per call: prog, args, stdin
  calllog.py LOG wait PROG SUBSTR TIMEOUT_MS  exit 0 once a call of PROG whose
                                              arguments or stdin contain SUBSTR
                                              is logged, 1 after TIMEOUT_MS
PROG matches the name as called or its base name ("wifi" matches "/sbin/wifi")."""
import json
import os
import shlex
import sys
import time


def calls(path):
    try:
        with open(path, encoding="ascii") as f:
            lines = f.readlines()
    except OSError:
        return []
    out = []
    for line in lines:
        if line.endswith("\n"):
            try:
                out.append(json.loads(line))
            except ValueError:
                pass
    return out


def matches(rec, prog, substr):
    if prog and prog not in (rec["prog"], os.path.basename(rec["prog"])):
        return False
    text = " ".join(rec["argv"][1:])
    return not substr or substr in text or substr in (rec.get("stdin") or "")


def main():
    if len(sys.argv) < 3:
        sys.stderr.write(__doc__)
        return 2
    log, cmd = sys.argv[1], sys.argv[2]
    if cmd == "show":
        prog = sys.argv[3] if len(sys.argv) > 3 else ""
        for rec in calls(log):
            if matches(rec, prog, ""):
                line = " ".join(shlex.quote(a) for a in rec["argv"])
                if rec.get("stdin") is not None:
                    line += "  <<< " + json.dumps(rec["stdin"])
                print(line)
        return 0
    if cmd == "wait" and len(sys.argv) == 6:
        prog, substr, timeout = sys.argv[3], sys.argv[4], int(sys.argv[5]) / 1000.0
        deadline = time.monotonic() + timeout
        while True:
            if any(matches(r, prog, substr) for r in calls(log)):
                return 0
            if time.monotonic() >= deadline:
                return 1
            time.sleep(0.05)
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main())
