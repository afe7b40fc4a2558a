#!/usr/bin/env python3
"""Prints the time each test program took, from a ctest JUnit file.

    scripts/test-times.py <build dir> <junit.xml>

ctest --output-junit writes the file; each test case is mapped to its
program through the commands ctest would run in <build dir> (a shell
script's tests are named by the script). Slowest first.
"""
import json, os, subprocess, sys, xml.etree.ElementTree as ET

build, junit = sys.argv[1], sys.argv[2]
shown = subprocess.run(['ctest', '--test-dir', build, '--show-only=json-v1'],
                       check=True, capture_output=True, text=True).stdout
program = {}
for test in json.loads(shown).get('tests', []):
    cmd = test.get('command') or ['?']
    script = next((c for c in cmd if c.endswith('.sh')), None)
    program[test['name']] = os.path.basename(script or cmd[0])

times, counts, failed = {}, {}, {}
for case in ET.parse(junit).getroot().iter('testcase'):
    exe = program.get(case.get('name'), '?')
    times[exe] = times.get(exe, 0.0) + float(case.get('time') or 0)
    counts[exe] = counts.get(exe, 0) + 1
    if case.get('status') == 'fail' or case.find('failure') is not None:
        failed[exe] = failed.get(exe, 0) + 1

print(f"{'test program':<34} {'cases':>6} {'seconds':>9}")
for exe in sorted(times, key=times.get, reverse=True):
    note = f"  ({failed[exe]} failed)" if exe in failed else ""
    print(f"{exe:<34} {counts[exe]:>6} {times[exe]:>9.1f}{note}")
print(f"{'all':<34} {sum(counts.values()):>6} {sum(times.values()):>9.1f}")
