#!/usr/bin/env python3
"""check_layers.py - fails when an #include climbs the library's layer map.

Every source and header of the library and the converter belongs to one
layer; a file may include headers of its own layer and of the layers below
it, never of one above. A file that no layer claims is an error too, so a new
module has to be placed on the map before it can land.

Usage: check_layers.py [ROOT]      (default: the repository this script is in)
       check_layers.py --print     (the map, one layer a line, bottom first)
"""
import fnmatch
import os
import re
import sys

# Bottom first. Patterns are matched against paths relative to the root.
LAYERS = [
    ("core", ["twlib/core/*"]),
    ("text", ["twlib/text/str.*", "twlib/text/strutil.*", "twlib/text/strbuf.*",
              "twlib/text/strtok.*", "twlib/text/tklex.*", "twlib/text/literal.*",
              "twlib/text/chars.*"]),
    ("containers", ["twlib/containers/*"]),
    ("regexp", ["twlib/regexp/*"]),
    ("int64", ["twlib/cvt/twint64.*"]),
    ("format", ["twlib/text/sprintf.*"]),
    ("errors", ["twlib/err/error.*", "twlib/err/report.*", "twlib/err/except.*",
                "twlib/err/assert.*", "twlib/err/signal.*"]),
    ("files", ["tslib/*"]),
    ("numbers", ["twlib/cvt/*"]),
    ("messages", ["twlib/err/*", "tslib/msgfile.*"]),
    ("options", ["twlib/pref/*"]),
    ("wiring", ["twlib/wiring.cpp", "twlib/twlib.h", "tslib/tslib.h"]),
    ("converter", ["app/*"]),
]

# Later, more specific claims win over the broad folder patterns: a file
# takes the lowest layer whose pattern is the most specific match.
def layer_of(path):
    best = None
    for index, (_, patterns) in enumerate(LAYERS):
        for pattern in patterns:
            if fnmatch.fnmatch(path, pattern):
                score = (pattern.count("*") == 0, len(pattern))
                if best is None or score > best[0]:
                    best = (score, index)
    return None if best is None else best[1]


INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
SOURCE_DIRS = ("twlib", "tslib", "app")


def check(root):
    problems = []
    for top in SOURCE_DIRS:
        for folder, _, files in os.walk(os.path.join(root, top)):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp", ".c")):
                    continue
                path = os.path.relpath(os.path.join(folder, name), root)
                here = layer_of(path)
                if here is None:
                    problems.append(f"{path}: not on the layer map (scripts/check_layers.py)")
                    continue
                with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
                    text = f.read()
                for match in INCLUDE.finditer(text):
                    target = match.group(1)
                    there = layer_of(target)
                    if there is None or there <= here:
                        continue
                    line = text.count("\n", 0, match.start()) + 1
                    problems.append(f"{path}:{line}: {LAYERS[here][0]} includes {target}, "
                                    f"which is in the higher layer {LAYERS[there][0]}")
    return problems


def main(argv):
    if len(argv) > 1 and argv[1] == "--print":
        for name, patterns in LAYERS:
            print(f"{name}: {' '.join(patterns)}")
        return 0
    root = argv[1] if len(argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    problems = check(root)
    for p in problems:
        print(p, file=sys.stderr)
    if problems:
        print(f"layer check: {len(problems)} problem(s)", file=sys.stderr)
        return 1
    print("layer check: every include keeps to the map")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
