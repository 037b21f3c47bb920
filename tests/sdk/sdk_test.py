#!/usr/bin/env python3
"""The SDK proves itself as a product team would use it: scripts/dist makes
the zip (signed with a certificate made for this run), the zip is unpacked
into an empty folder outside the checkout, the example is built there with
nothing but the SDK and the documented toolchain, the example product is
packed with the SDK's setupvol onto floppy-sized volumes and installed
unattended under Wine, the installed tree is compared with the volumes, and
the uninstaller the product put into the Windows folder removes it again.
A second scripts/dist in a fresh build folder must give the same zip, byte
for byte.

usage: sdk_test.py BUILD RESULTS_DIR
Wine must be started (scripts/wine-env.sh: WINE, WINEPREFIX, DISPLAY); the
i686 example runs only where the kernel runs 32-bit programs (SETUP_WINE_BITS
32), elsewhere that case is skipped. Writes RESULTS_DIR/sdk_test.xml in
GoogleTest's report format and exits 1 when a case failed."""
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import traceback
import zipfile
from xml.sax.saxutils import quoteattr

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
FLOPPY = 1457664
RECORD = 564


class Skip(Exception):
    pass


def run(args, **kw):
    """Runs a command; its output comes back, and a failure names it."""
    r = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kw)
    if r.returncode != 0:
        raise AssertionError(f"{' '.join(map(str, args))} exited with {r.returncode}:\n{r.stdout[-3000:]}")
    return r.stdout


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def shipped_places():
    """The places in the SDK of what scripts/dist's list ships from the build."""
    text = open(os.path.join(ROOT, "scripts", "dist")).read()
    block = re.search(r"^shipped=\(\n(.*?)^\)", text, re.S | re.M).group(1)
    return [re.findall(r'"(.*?)"', line)[0].split()[2] for line in block.splitlines() if '"' in line]


def declared_operations(header):
    """The names of the functions, operations, constructors and destructors a
    header declares: every code line that names `name(` and ends a
    declaration or its first line (`;` or `,`)."""
    names = set()
    for line in open(header):
        code = line.split("//")[0].strip()
        if not code or re.match(r"(typedef|static_assert|#|return)\b", code) or not code.endswith((";", ",")):
            continue
        m = re.search(r"(~?[A-Za-z_]\w*)\s*\(", code)
        if m:
            names.add(m.group(1))
    return sorted(names)


def pe_files(folder):
    found = []
    for here, _, files in os.walk(folder):
        found += [os.path.join(here, f) for f in files if f.lower().endswith((".dll", ".exe"))]
    return sorted(found)


class SdkTest:
    def __init__(self, build, results):
        self.build = build
        self.results = results
        self.cases = []
        self.scratch = tempfile.mkdtemp(prefix="setup-sdk-test-")
        self.env = dict(os.environ)
        self.signing = os.path.join(self.scratch, "signing")
        os.makedirs(self.signing)
        run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "30",
             "-subj", "/CN=Setup runtime SDK test", "-addext", "extendedKeyUsage=codeSigning",
             "-keyout", os.path.join(self.signing, "key.pem"), "-out", os.path.join(self.signing, "cert.pem")])
        self.env["SETUP_SIGN_CERT"] = os.path.join(self.signing, "cert.pem")
        self.env["SETUP_SIGN_KEY"] = os.path.join(self.signing, "key.pem")

    def case(self, name, body):
        started = time.monotonic()
        outcome, message = "passed", ""
        try:
            body()
        except Skip as s:
            outcome, message = "skipped", str(s)
        except Exception as e:
            outcome = "failed"
            message = str(e) if isinstance(e, AssertionError) else traceback.format_exc()
        seconds = time.monotonic() - started
        self.cases.append((name, outcome, message, seconds))
        print(f"[ {outcome.upper():>7} ] Sdk.{name} ({seconds:.1f} s){': ' + message if message else ''}",
              flush=True)

    def dist(self, build, out):
        env = dict(self.env, SETUP_BUILD_DIR=build, SETUP_DIST_DIR=out)
        lines = run([os.path.join(ROOT, "scripts", "dist")], env=env).strip().splitlines()
        return lines[-2], lines[-1]

    # --- the cases -------------------------------------------------------

    def makeZip(self):
        self.zip, self.hash = self.dist(self.build, os.path.join(self.scratch, "dist1"))
        check(os.path.isfile(self.zip), f"no zip at {self.zip}")
        check(self.hash == sha256(self.zip), "the printed hash is not the zip's")
        print(f"zip {self.zip}: {os.path.getsize(self.zip)} bytes, sha256 {self.hash}")

    def zipHoldsTheSdk(self):
        top = os.path.basename(self.zip)[:-4]
        with zipfile.ZipFile(self.zip) as z:
            names = z.namelist()
            check(names == sorted(names), "entries are not sorted")
            check(all(n.startswith(top + "/") and ".." not in n.split("/") for n in names),
                  "an entry lies outside the SDK's folder")
            # Dated from the commit (zip keeps even seconds), with fixed permissions.
            epoch = int(run(["git", "-C", ROOT, "log", "-1", "--format=%ct"]))
            date = list(time.gmtime(epoch)[:6])
            date[5] -= date[5] % 2
            for info in z.infolist():
                check(list(info.date_time) == date, f"{info.filename} is dated {info.date_time}, not {date}")
                mode = (info.external_attr >> 16) & 0o777
                want = 0o755 if info.is_dir() or info.filename.endswith("/tools/setupvol") else 0o644
                check(mode == want, f"{info.filename} has mode {mode:o}, not {want:o}")
            self.unpacked = os.path.join(self.scratch, "unpacked")
            self.timer = time.monotonic()
            z.extractall(self.unpacked)
            # zipfile keeps no permissions: give back what the entries say.
            for info in z.infolist():
                mode = info.external_attr >> 16
                if mode and not info.is_dir():
                    os.chmod(os.path.join(self.unpacked, info.filename), mode & 0o777)
        self.sdk = os.path.join(self.unpacked, top)
        expected = shipped_places() + [
            "include/Setup.h", "include/SetupTypes.h", "include/ExchangeCompleter.h", "include/InstallTarget.h",
            "include/SetupRules.h", "include/SetupProgram.h", "include/RunLog.h", "tools/setupvol", "example/CMakeLists.txt",
            "example/cmake/mingw-i686.cmake", "example/cmake/mingw-common.cmake",
            "example/SampleSetup.cpp", "example/product/manifest.txt",
            "docs/reference/index.html", "docs/reference/classSetup.html"]
        expected += ["docs/" + d for d in os.listdir(os.path.join(ROOT, "docs")) if d.endswith(".md")]
        missing = [e for e in expected if not os.path.isfile(os.path.join(self.sdk, e))]
        check(not missing, f"missing from the SDK: {missing}")
        version = run([os.path.join(self.sdk, "tools", "setupvol"), "--version"]).split()[1]
        check(top == "SetupSDK-" + version, f"{top} is not named after the tool's version {version}")
        for header in ("Setup.h", "SetupTypes.h"):
            with open(os.path.join(ROOT, "include", header), "rb") as a, \
                 open(os.path.join(self.sdk, "include", header), "rb") as b:
                check(a.read() == b.read(), f"the SDK's {header} is not the library's")
        check(run(["i686-w64-mingw32-objdump", "-f", os.path.join(self.sdk, "bin", "Setup.Dll")]).find("pei-i386") >= 0,
              "Setup.Dll is not an i686 DLL")
        # Every link of the pages reaches a file of the SDK; the wizard's
        # pictures may still be missing while docs/screenshots/ is not there.
        pages = [os.path.join(self.sdk, "README.md")] + \
            [os.path.join(self.sdk, "docs", d) for d in os.listdir(os.path.join(self.sdk, "docs")) if d.endswith(".md")]
        for page in pages:
            for link in re.findall(r"\]\(([^)#]+)\)", open(page).read()):
                if "://" in link:
                    continue
                target = os.path.normpath(os.path.join(os.path.dirname(page), link))
                if link.startswith("screenshots/") and not os.path.isdir(os.path.join(ROOT, "docs", "screenshots")):
                    continue
                check(os.path.exists(target), f"{os.path.relpath(page, self.sdk)} links to {link}, which is not in the SDK")
        # The overview names every operation the SDK's headers declare.
        overview = open(os.path.join(self.sdk, "docs", "interface.md")).read()
        for header in ("Setup.h", "ExchangeCompleter.h", "InstallTarget.h"):
            operations = declared_operations(os.path.join(self.sdk, "include", header))
            check(operations, f"no operation found in {header}")
            unnamed = [o for o in operations if not re.search(r"`[^`]*\b" + re.escape(o.lstrip("~")) + r"\b", overview)]
            check(not unnamed, f"docs/interface.md does not name these operations of {header}: {unnamed}")
        # The reference carries the header's comments, thread notes included.
        page = open(os.path.join(self.sdk, "docs", "reference", "classSetup.html")).read()
        for text in ("ProcessNeedReboot", "worker thread", "MainWindowExist"):
            check(text in page, f"the reference of Setup lacks '{text}'")

    def signaturesVerify(self):
        files = pe_files(self.sdk)
        check(len(files) >= 4, f"only {len(files)} PE files in the SDK")
        cert = self.env["SETUP_SIGN_CERT"]
        for pe in files:
            out = run(["osslsigncode", "verify", "-CAfile", cert, "-in", pe])
            check("Signature verification: ok" in out, f"{pe}: {out[-500:]}")
        # Verification must notice a changed byte in the signed code.
        damaged = os.path.join(self.scratch, "damaged.Dll")
        data = bytearray(open(os.path.join(self.sdk, "bin", "Setup.Dll"), "rb").read())
        data[0x400] ^= 0x01
        open(damaged, "wb").write(data)
        r = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", damaged],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        check(r.returncode != 0, "a damaged signed file verified")

    def exampleBuilds(self):
        example = os.path.join(self.sdk, "example")
        self.exampleBuild = os.path.join(self.unpacked, "example-build")
        # Only what the SDK documents: its toolchain file and its folder.
        run(["cmake", "-S", example, "-B", self.exampleBuild, "-G", "Ninja",
             "-DCMAKE_BUILD_TYPE=Release", "-DCMAKE_EXPORT_COMPILE_COMMANDS=ON",
             "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(example, "cmake", "mingw-i686.cmake")],
            cwd=self.unpacked)
        run(["cmake", "--build", self.exampleBuild, "-j", "2"], cwd=self.unpacked)
        exe = os.path.join(self.exampleBuild, "SampleSetup.exe")
        check(os.path.isfile(exe), "no SampleSetup.exe")
        check(open(os.path.join(self.exampleBuild, "Setup.Dll"), "rb").read() ==
              open(os.path.join(self.sdk, "bin", "Setup.Dll"), "rb").read(),
              "the Setup.Dll beside the program is not the SDK's")
        imports = run(["i686-w64-mingw32-objdump", "-p", exe])
        check("DLL Name: Setup.Dll" in imports, "SampleSetup.exe does not import Setup.Dll")
        # The completer's archive stands alone: a program that calls it links
        # with the SDK's header and archive and nothing else of ours (it runs
        # under Wine with the example's install).
        probe = os.path.join(self.unpacked, "probe")
        os.makedirs(probe)
        with open(os.path.join(probe, "probe.cpp"), "w") as f:
            # The pair written as the engine writes it; its temporary file does not exist.
            f.write('#include <windows.h>\n#include <stdio.h>\n#include "ExchangeCompleter.h"\n'
                    'int main(int argc, char** argv) {\n'
                    '    WritePrivateProfileStringA("", "TempName1", "C:\\\\SdkTest\\\\qrv12.tmp", argv[1]);\n'
                    '    WritePrivateProfileStringA("", "RealName1", "C:\\\\SdkTest\\\\x.dll", argv[1]);\n'
                    '    ExchangeCompletion done = completeExchanges(argv[1]);\n'
                    '    printf("%u %u %u\\n", done.registered, done.stale, done.left);\n'
                    '    return 0;\n}\n')
        run(["i686-w64-mingw32-g++-posix", "-std=c++17", "-static", "-o", "probe.exe", "probe.cpp",
             "-I" + os.path.join(self.sdk, "include"), os.path.join(self.sdk, "lib", "libcompanion.a")], cwd=probe)
        self.completerProbe = os.path.join(probe, "probe.exe")
        commands = json.load(open(os.path.join(self.exampleBuild, "compile_commands.json")))
        leaks = [c["command"] for c in commands if ROOT in c["command"]]
        check(not leaks, f"the example's build reaches into the checkout: {leaks[:1]}")

    def exampleInstalls(self):
        if os.environ.get("SETUP_WINE_BITS", "32") != "32":
            raise Skip("Wine runs 64-bit programs only here (SETUP_WINE_BITS=64: this kernel runs no "
                       "32-bit programs, and Wine 8 needs them for i686 ones): the i686 example cannot run")
        # The completer linked from the SDK alone works: a pair whose
        # temporary file is gone is dropped from the rename file.
        renames = os.path.join(os.path.dirname(self.completerProbe), "rename.ini")
        out = run([self.env.get("WINE", "wine"), self.completerProbe, "Z:" + renames.replace("/", "\\")],
                  cwd=os.path.dirname(self.completerProbe)).split()
        check(out[-3:] == ["0", "1", "0"], f"the completer registered, dropped, left {out[-3:]}, not 0 1 0")
        check("TempName1" not in open(renames).read(), "the stale pair stayed in the rename file")

        setupvol = os.path.join(self.sdk, "tools", "setupvol")
        disks = os.path.join(self.unpacked, "disks")
        product = os.path.join(self.sdk, "example", "product")
        check(os.path.isfile(os.path.join(product, "bin", "QRVUnins.Exe")) and
              open(os.path.join(product, "bin", "QRVUnins.Exe"), "rb").read() ==
              open(os.path.join(self.sdk, "tools", "QRVUnins.Exe"), "rb").read(),
              "the example product's bin/QRVUnins.Exe is not the SDK's uninstaller")
        # The product installs its uninstaller into the Windows folder; a
        # manifest that does not pack it yet gets the line here.
        manifest = os.path.join(product, "manifest.txt")
        if "QRVUnins.Exe" not in open(manifest).read():
            with open(manifest, "a") as f:
                f.write("file bin/QRVUnins.Exe windows - 1\n")
        prefix = self.env["WINEPREFIX"]
        self.windows = os.path.join(prefix, "drive_c", "windows")
        uninstaller = os.path.join(self.windows, "QRVUnins.Exe")
        if os.path.exists(uninstaller):
            os.remove(uninstaller)
        self.windowsBefore = self.windowsFolder()
        run([setupvol, "pack", manifest,
             "-o", disks, "--volume-size", str(FLOPPY), "--disk-dirs", "--quiet"])
        volumes = sorted(os.listdir(disks), key=lambda d: (len(d), d))
        check(volumes == [f"Disk{n}" for n in range(1, len(volumes) + 1)], f"disk folders {volumes}")
        for n, disk in enumerate(volumes, 1):
            size = os.path.getsize(os.path.join(disks, disk, f"Data{n}.Dat"))
            check(size <= FLOPPY, f"{disk} holds {size} bytes, more than a floppy disk")
        first = os.path.join(disks, "Disk1")
        for f in ("SampleSetup.exe", "Setup.Dll"):
            shutil.copy(os.path.join(self.exampleBuild, f), first)

        target_unix = os.path.join(prefix, "drive_c", "SdkTest", "Sample")
        shutil.rmtree(os.path.dirname(target_unix), ignore_errors=True)
        try:
            # About 10 s under load; a box nobody answers ends it here.
            r = subprocess.run([self.env.get("WINE", "wine"), "SampleSetup.exe", "/S", r"/D=C:\SdkTest\Sample"],
                               cwd=first, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                               timeout=90)
        except subprocess.TimeoutExpired:
            screen = os.path.join(self.scratch, "screen.png")
            subprocess.run(["import", "-window", "root", screen], stderr=subprocess.DEVNULL)
            raise AssertionError(f"the unattended install did not end in 90 s; the screen: {screen}")
        check(r.returncode == 0, f"the unattended install exited with {r.returncode}:\n{r.stdout[-2000:]}")
        self.installSeconds = time.monotonic() - self.timer
        print(f"from unpacking to the installed example: {self.installSeconds:.1f} s "
              f"({len(volumes)} floppy volumes)")

        extracted = os.path.join(self.unpacked, "extracted")
        run([setupvol, "extract", disks, "-o", extracted])
        packed = os.path.join(extracted, "install")
        want = sorted(os.path.relpath(os.path.join(h, f), packed) for h, _, fs in os.walk(packed) for f in fs)
        have = sorted(os.path.relpath(os.path.join(h, f), target_unix)
                      for h, _, fs in os.walk(target_unix) for f in fs)
        check(have == sorted(want + ["Install.log"]), f"installed {have}, packed {want}")
        for f in want:
            check(sha256(os.path.join(packed, f)) == sha256(os.path.join(target_unix, f)),
                  f"{f} differs from the packed file")
        # One record for each installed file, the one in the Windows folder included.
        files = sum(len(fs) for _, _, fs in os.walk(extracted))
        log = os.path.getsize(os.path.join(target_unix, "Install.log"))
        check(log == RECORD * files, f"Install.log has {log} bytes for {files} files")
        self.installed = target_unix

    def windowsFolder(self):
        """The files directly in the Windows folder, each with its size and hash."""
        found = {}
        for f in os.listdir(self.windows):
            path = os.path.join(self.windows, f)
            if os.path.isfile(path):
                found[f.lower()] = (os.path.getsize(path), sha256(path))
        return found

    def uninstalls(self):
        # The installed uninstaller, from the Windows folder, unattended, with
        # the product's name as its Uninstall entry passes it: unquoted.
        installed = os.path.join(self.windows, "QRVUnins.Exe")
        check(os.path.isfile(installed), "the install put no QRVUnins.Exe into the Windows folder")
        check(sha256(installed) == sha256(os.path.join(self.sdk, "tools", "QRVUnins.Exe")),
              "the installed QRVUnins.Exe is not the SDK's")
        try:
            r = subprocess.run([self.env.get("WINE", "wine"), r"C:\windows\QRVUnins.Exe", "/S", "Sample", "Product"],
                               cwd=self.windows, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                               timeout=90)
        except subprocess.TimeoutExpired:
            raise AssertionError("the unattended uninstall did not end in 90 s")
        check(r.returncode == 100, f"the unattended uninstall exited with {r.returncode}, not 100 "
              f"(3: no Uninstall entry or InstallLocation for the product):\n{r.stdout[-2000:]}")
        left = [os.path.relpath(os.path.join(h, f), self.installed)
                for h, _, fs in os.walk(self.installed) for f in fs] if os.path.exists(self.installed) else []
        check(not left, f"files left after the uninstall: {left}")
        check(not os.path.exists(self.installed), f"the installation folder {self.installed} is still there")
        # The Windows folder is shared: nothing in it changed but the uninstaller itself.
        after = self.windowsFolder()
        after.pop("qrvunins.exe", None)
        changed = sorted(f for f in set(self.windowsBefore) | set(after)
                         if self.windowsBefore.get(f) != after.get(f))
        check(not changed, f"files of the Windows folder changed: {changed}")

    def reproducible(self):
        # A fresh build folder: the second zip is built from nothing.
        zip2, hash2 = self.dist(os.path.join(self.scratch, "build2"), os.path.join(self.scratch, "dist2"))
        print(f"reproducibility: first {self.hash}, second {hash2}")
        if hash2 != self.hash:
            with zipfile.ZipFile(self.zip) as a, zipfile.ZipFile(zip2) as b:
                left = {i.filename: (i.CRC, i.date_time, i.external_attr) for i in a.infolist()}
                right = {i.filename: (i.CRC, i.date_time, i.external_attr) for i in b.infolist()}
                differ = sorted(n for n in set(left) | set(right) if left.get(n) != right.get(n))
            raise AssertionError(f"two runs gave different zips; entries that differ: {differ[:20]}")

    # ---------------------------------------------------------------------

    def runAll(self):
        self.case("DistMakesTheZip", self.makeZip)
        made = self.cases[-1][1] == "passed"
        steps = [("ZipHoldsTheSdk", self.zipHoldsTheSdk), ("SignaturesVerify", self.signaturesVerify),
                 ("ExampleBuildsFromTheSdkAlone", self.exampleBuilds),
                 ("ExampleInstallsUnattendedFromFloppies", self.exampleInstalls),
                 ("ExampleUninstalls", self.uninstalls)]
        for name, body in steps:
            # A later step needs the earlier ones: after a failure or a skip
            # it is skipped, saying why.
            missed = [c for c in self.cases if c[1] != "passed"]
            if missed:
                why = f"not run: {missed[0][0]} {missed[0][1]}"
                self.case(name, lambda why=why: (_ for _ in ()).throw(Skip(why)))
            else:
                self.case(name, body)
        if made:
            self.case("TwoRunsGiveTheSameZip", self.reproducible)
        self.report()
        ok = all(c[1] != "failed" for c in self.cases)
        if ok:
            shutil.rmtree(self.scratch, ignore_errors=True)
        else:
            print(f"kept for inspection: {self.scratch}")
        return ok

    def report(self):
        os.makedirs(self.results, exist_ok=True)
        failures = sum(1 for c in self.cases if c[1] == "failed")
        lines = ['<?xml version="1.0" encoding="UTF-8"?>',
                 f'<testsuites tests="{len(self.cases)}" failures="{failures}">',
                 f'  <testsuite name="Sdk" tests="{len(self.cases)}" failures="{failures}">']
        for name, outcome, message, seconds in self.cases:
            attrs = f'classname="Sdk" name="{name}" time="{seconds:.3f}"'
            if outcome == "passed":
                lines.append(f"    <testcase {attrs}/>")
            elif outcome == "skipped":
                lines.append(f'    <testcase {attrs} result="skipped"><skipped message={quoteattr(message)}/></testcase>')
            else:
                lines.append(f"    <testcase {attrs}><failure message={quoteattr(message)}/></testcase>")
        lines += ["  </testsuite>", "</testsuites>", ""]
        with open(os.path.join(self.results, "sdk_test.xml"), "w") as f:
            f.write("\n".join(lines))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(0 if SdkTest(os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])).runAll() else 1)
