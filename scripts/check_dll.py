#!/usr/bin/env python3
"""Checks the built Setup.Dll the way a product's build sees it: a PE32 i386
DLL, no runtime DLLs of the compiler beside it, and every operation that
include/Setup.h declares for the four classes exported.

usage: check_dll.py SETUP_DLL HEADER RESULTS_DIR
Writes RESULTS_DIR/dll_check.xml (a GoogleTest-style report) and exits 1 on
any failure."""
import re
import subprocess
import sys
from xml.sax.saxutils import escape

dll, header, results = sys.argv[1:4]
cases = []


def case(name, ok, message=""):
    cases.append((name, ok, message))
    print(("ok   " if ok else "FAIL ") + name + ("" if ok else ": " + message))


dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", dll], capture_output=True, text=True).stdout
case("pe32_i386", "file format pei-i386" in dump and "Magic\t\t\t010b\t(PE32)" in dump,
     "not a PE32 i386 image")
m = re.search(r"^Characteristics 0x([0-9a-f]+)", dump, re.M)
case("is_dll", m is not None and int(m.group(1), 16) & 0x2000 != 0, "the DLL characteristic is not set")

imports = re.findall(r"DLL Name: (\S+)", dump)
runtime = [d for d in imports if re.match(r"(libgcc|libstdc\+\+|libwinpthread)", d, re.I)]
case("no_compiler_runtime_dlls", not runtime, "depends on " + ", ".join(runtime))

names = re.findall(r"^\s+\[\s*\d+\] (\S+)$", dump, re.M)
demangled = subprocess.run(["i686-w64-mingw32-c++filt", "-n"], input="\n".join(names),
                           capture_output=True, text=True).stdout.splitlines()
exported = set()
for d in demangled:
    m = re.match(r"(?:[\w:]+ )?([\w]+)::(~?[\w]+)\(", d)
    if m:
        exported.add(m.group(1) + "::" + m.group(2))
    m = re.match(r"(\w+)(?:@\d+)?$", d)
    if m:
        exported.add(m.group(1))

# Operations declared in the header, class by class.
text = open(header).read()
declared = []
for cls, body in re.findall(r"class SETUP_API (\w+)[^{]*\{(.*?)\n\};", text, re.S):
    for name in re.findall(r"^\s+(?:virtual\s+|static\s+)?(?:[\w*&\s]+?\s+)?(~?\w+)\(", body, re.M):
        if name not in ("if", "for", "while", "return"):
            declared.append(f"{cls}::{name}")
for name in re.findall(r'^(?:extern "C" )?SETUP_API [^(]*?(\w+)\(', text, re.M):
    declared.append(name)
missing = sorted(set(d for d in declared if d not in exported))
case("declared_operations_exported", not missing and declared, "missing: " + ", ".join(missing))
print(f"{len(set(declared))} operations declared, all exported" if not missing else "")

with open(f"{results}/dll_check.xml", "w") as out:
    failures = sum(1 for _, ok, _ in cases if not ok)
    out.write(f'<?xml version="1.0"?>\n<testsuites tests="{len(cases)}" failures="{failures}">\n')
    out.write(f'<testsuite name="SetupDll" tests="{len(cases)}" failures="{failures}">\n')
    for name, ok, message in cases:
        out.write(f'<testcase name="{name}" classname="SetupDll">')
        if not ok:
            out.write(f'<failure message="{escape(message, {chr(34): "&quot;"})}"/>')
        out.write("</testcase>\n")
    out.write("</testsuite>\n</testsuites>\n")
sys.exit(1 if any(not ok for _, ok, _ in cases) else 0)
