#!/usr/bin/env python3
"""Counts the test cases of every build tree given: the GoogleTest XML reports
in its results/ folder, plus every ctest entry that failed without leaving a
report (a crash, a timeout, a fuzz finding). Prints "N passed, N failed" and
exits 1 when anything failed."""
import os
import re
import sys
import xml.etree.ElementTree as ET

passed = failed = skipped = 0
for tree in sys.argv[1:]:
    results = os.path.join(tree, "results")
    if not os.path.isdir(results):
        continue
    reported = set()
    for name in sorted(os.listdir(results)):
        if not name.endswith(".xml"):
            continue
        reported.add(name[:-4])
        try:
            root = ET.parse(os.path.join(results, name)).getroot()
        except ET.ParseError:
            print(f"unreadable report {name}")
            failed += 1
            continue
        for case in root.iter("testcase"):
            if case.find("failure") is not None or case.find("error") is not None:
                failed += 1
                print(f"FAILED {name[:-4]}: {case.get('classname')}.{case.get('name')}")
            elif case.get("result") == "skipped" or case.find("skipped") is not None:
                skipped += 1
            else:
                passed += 1
    # ctest's own record of entries that failed (crashes, fuzz findings ...).
    log = os.path.join(tree, "Testing", "Temporary", "LastTestsFailed.log")
    if os.path.isfile(log):
        for line in open(log):
            m = re.match(r"\d+:(.*)", line.strip())
            if not m:
                continue
            test = m.group(1)
            if test not in reported:
                failed += 1
                print(f"FAILED {test} (no report: crashed, timed out or found a fault)")
line = f"{passed} passed, {failed} failed"
if skipped:
    line += f", {skipped} skipped"
print(line)
sys.exit(1 if failed else 0)
