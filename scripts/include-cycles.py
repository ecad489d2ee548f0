#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Fails when the source files of one target include each other in a cycle.

A unit is a header and the sources that implement it: `Files.h` with `Files.cpp`, `HotKey.h`
with `HotKey.cpp`, `HotKey_x11.cpp` and `HotKey_portal.cpp`. Unit A uses unit B when a file of
A includes B's header. Within each folder of src/ (one folder, one target) the uses must form
no cycle: a cycle means two units that can only be understood, tested and changed together.

usage: scripts/include-cycles.py [SRC_DIR]   (default: src/ beside this script)
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)
SOURCE_SUFFIXES = (".h", ".cpp")


def unit_of(file_name):
    stem = os.path.splitext(file_name)[0]
    return stem.split("_", 1)[0]


def uses_in(folder):
    """Maps each unit of one folder to the units of the same folder its files include."""
    uses = {}
    for name in sorted(os.listdir(folder)):
        if not name.endswith(SOURCE_SUFFIXES):
            continue
        unit = unit_of(name)
        with open(os.path.join(folder, name), encoding="utf-8") as source:
            included = INCLUDE.findall(source.read())
        targets = uses.setdefault(unit, set())
        for header in included:
            if "/" in header or not os.path.exists(os.path.join(folder, header)):
                continue
            other = unit_of(header)
            if other != unit:
                targets.add(other)
    return uses


def cycles(uses):
    """The strongly connected components of more than one unit (Tarjan)."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []

    def visit(unit):
        index[unit] = low[unit] = len(index)
        stack.append(unit)
        on_stack.add(unit)
        for other in sorted(uses.get(unit, ())):
            if other not in index:
                visit(other)
                low[unit] = min(low[unit], low[other])
            elif other in on_stack:
                low[unit] = min(low[unit], index[other])
        if low[unit] == index[unit]:
            component = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                component.append(member)
                if member == unit:
                    break
            if len(component) > 1:
                found.append(sorted(component))

    for unit in sorted(uses):
        if unit not in index:
            visit(unit)
    return found


def main():
    src = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "src")
    failed = False
    for root, _, _ in sorted(os.walk(src)):
        for component in cycles(uses_in(root)):
            failed = True
            print(f"include cycle in {os.path.relpath(root, src)}: {' <-> '.join(component)}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
