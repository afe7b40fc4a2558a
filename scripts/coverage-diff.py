#!/usr/bin/env python3
"""Lines and branches covered before but not after.

Both files are gcovr's detailed JSON (`gcovr --json FILE`) of the same
sources, e.g. one run of a test program before a rework of its tests and
one after. Coverage per library only says that totals held; this says
which line a reworked test stopped reaching, so that it can be put back.
Branches are compared by their index on a line, which holds while the
program code itself is unchanged.

    scripts/coverage-diff.py before.json after.json

Exit status 1 when anything covered before is not covered after.
"""
import json
import sys


def covered(path):
    lines, branches = set(), set()
    for f in json.load(open(path))['files']:
        name = f['file']
        for line in f['lines']:
            if line.get('gcovr/noncode'):
                continue
            number = line['line_number']
            if line['count'] > 0:
                lines.add((name, number))
            for i, branch in enumerate(line.get('branches', [])):
                if branch['count'] > 0:
                    branches.add((name, number, i))
    return lines, branches


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    lines_before, branches_before = covered(sys.argv[1])
    lines_after, branches_after = covered(sys.argv[2])
    lost_lines = sorted(lines_before - lines_after)
    lost_branches = sorted(branches_before - branches_after)
    for name, number in lost_lines:
        print(f'line   {name}:{number}')
    for name, number, i in lost_branches:
        if (name, number) not in lines_before - lines_after:
            print(f'branch {name}:{number} #{i}')
    print(f'lines {len(lines_before)} -> {len(lines_after)} (lost {len(lost_lines)}), '
          f'branches {len(branches_before)} -> {len(branches_after)} (lost {len(lost_branches)})')
    sys.exit(1 if lost_lines or lost_branches else 0)


if __name__ == '__main__':
    main()
