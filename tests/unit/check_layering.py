#!/usr/bin/python3
"""Fails when a library includes a header of a library above it.

platform <- engine <- base <- notify, report, repair <- shell: a library may
include its own headers and those of the libraries below it; the siblings
notify, report and repair include none of each other. Qt stays out of platform
and engine. tests may include every library but none of bench; bench may use
tests' support.

Usage: check_layering.py SOURCE_DIR
"""
import pathlib
import re
import sys

LEVEL = {"platform": 0, "engine": 1, "base": 2, "notify": 3, "report": 3, "repair": 3, "shell": 4, "tests": 5, "bench": 6}
QT_FREE = {"platform", "engine"}
PROJECT_INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z0-9_]+)/')
QT_INCLUDE = re.compile(r"^\s*#\s*include\s+<Q")


def allowed(library, target):
    if target not in LEVEL or target == library:
        return True
    return LEVEL[target] < LEVEL[library]


def faults(root):
    for library in LEVEL:
        for path in sorted((root / library).rglob("*")):
            if path.suffix not in (".h", ".cpp", ".in") or not path.is_file():
                continue
            text = path.read_text(encoding="utf-8", errors="replace")
            for number, line in enumerate(text.splitlines(), 1):
                where = f"{path.relative_to(root)}:{number}"
                match = PROJECT_INCLUDE.match(line)
                if match and not allowed(library, match.group(1)):
                    yield f"{where}: {library} includes {match.group(1)}: {line.strip()}"
                if library in QT_FREE and QT_INCLUDE.match(line):
                    yield f"{where}: Qt in {library}: {line.strip()}"


def main():
    root = pathlib.Path(sys.argv[1])
    found = list(faults(root))
    for fault in found:
        print(fault)
    if found:
        print(f"{len(found)} include(s) against the layering")
        return 1
    print("every include points down")
    return 0


if __name__ == "__main__":
    sys.exit(main())
