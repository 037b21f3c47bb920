#!/usr/bin/env python3
"""Counts the test cases of every build tree given: the GoogleTest XML reports
in its results/ folder, plus every ctest entry that failed without leaving a
report (a crash, a timeout, a fuzz finding), with the case it was running.
Names every skipped case with its reason, prints "N passed, N failed" and
exits 1 when anything failed."""
import os
import re
import sys
import xml.etree.ElementTree as ET



def unfinished_cases(path):
    """For each entry in ctest's LastTest.log: the GoogleTest case that had
    started and not ended when the program stopped (or ""), and its time."""
    found = {}
    if not os.path.isfile(path):
        return found
    test, case, elapsed = None, "", ""
    for line in open(path, errors="replace"):
        m = re.match(r"\d+/\d+ Testing: (.*)", line)
        if m:
            test, case, elapsed = m.group(1).strip(), "", ""
            continue
        if test is None:
            continue
        m = re.match(r"\[ RUN      \] (\S+)", line)
        if m:
            case = m.group(1)
            continue
        if re.match(r"\[ +(OK|FAILED|SKIPPED) +\] ", line):
            case = ""
            continue
        m = re.match(r"Test time = +(\S+ sec)", line)
        if m:
            elapsed = m.group(1)
            continue
        if line.startswith(f'"{test}" end time'):
            found[test] = (case, elapsed)
            test = None
    return found


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
        except ET.parseError:
            print(f"unreadable report {name}")
            failed += 1
            continue
        for case in root.iter("testcase"):
            if case.find("failure") is not None or case.find("error") is not None:
                failed += 1
                print(f"FAILED {name[:-4]}: {case.get('classname')}.{case.get('name')}")
            elif case.get("result") == "skipped" or case.find("skipped") is not None:
                skipped += 1
                # A skip must say why; the reason shows with the totals.
                why = case.find("skipped")
                why = why.get("message", "") if why is not None else ""
                why = " ".join(l.strip() for l in why.splitlines() if l.strip() not in ("", "Skipped"))
                print(f"skipped {name[:-4]}: {case.get('classname')}.{case.get('name')}"
                      f"{': ' + why if why else ''}")
            else:
                passed += 1
    # ctest's own record of entries that failed (crashes, timeouts, fuzz
    # findings ...); its log tells which case was running and for how long.
    temporary = os.path.join(tree, "Testing", "Temporary")
    running = unfinished_cases(os.path.join(temporary, "LastTest.log"))
    log = os.path.join(temporary, "LastTestsFailed.log")
    if os.path.isfile(log):
        for line in open(log):
            m = re.match(r"\d+:(.*)", line.strip())
            if not m:
                continue
            test = m.group(1)
            if test not in reported:
                failed += 1
                case, elapsed = running.get(test, ("", ""))
                where = f": {case}" if case else ""
                after = f" after {elapsed}" if elapsed else ""
                print(f"FAILED {test}{where} (no report{after}: crashed, timed out or found a fault)")
line = f"{passed} passed, {failed} failed"
if skipped:
    line += f", {skipped} skipped"
print(line)
sys.exit(1 if failed else 0)
