#!/usr/bin/env python3
# Signing with a timestamp server (scripts/sign, as scripts/dist signs with
# SETUP_SIGN_TIMESTAMP_URL): a small RFC 3161 authority on this machine,
# `openssl ts -reply` behind a local HTTP server with a throwaway CA, TSA and
# code-signing certificate, countersigns a built program. A timestamped
# signature still verifies after the signer's certificate has expired; one
# without does not; a server that refuses fails the signing and leaves the
# file unsigned; a timestamp from an authority nobody trusts does not verify.
#   timestamp_test.py <bin folder> <checkout> <scratch folder>
# Exits 77 (skipped, with the reason) where openssl or osslsigncode is missing.
import http.server
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

SKIPPED = 77
DAY = 86400

TSA_CONFIG = """
[ tsa ]
default_tsa = tsa_config
[ tsa_config ]
serial = {work}/serial
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256, sha384, sha512
ess_cert_id_alg = sha256
accuracy = secs:1
[ tsa_cert ]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = critical,timeStamping
[ code_cert ]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = codeSigning
"""


def run(args, **kw):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kw)


def openssl(*args):
    r = run(["openssl", *args])
    if r.returncode != 0:
        raise RuntimeError("openssl " + " ".join(args) + ":\n" + r.stdout)


def make_certificates(work):
    """A CA valid for two days, and below it a TSA and a code signer valid for one."""
    config = os.path.join(work, "tsa.cnf")
    with open(config, "w") as f:
        f.write(TSA_CONFIG.format(work=work))
    with open(os.path.join(work, "serial"), "w") as f:
        f.write("01\n")
    p = lambda name: os.path.join(work, name)
    for ca in ("ca", "stranger"):
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", f"/CN=Test {ca}",
                "-keyout", p(ca + ".key"), "-out", p(ca + ".pem"))
    for serial, (name, section) in enumerate((("tsa", "tsa_cert"), ("code", "code_cert")), start=2):
        openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", f"/CN=Test {name}",
                "-keyout", p(name + ".key"), "-out", p(name + ".csr"))
        openssl("x509", "-req", "-in", p(name + ".csr"), "-CA", p("ca.pem"), "-CAkey", p("ca.key"),
                "-set_serial", str(serial), "-days", "1", "-extfile", config, "-extensions", section,
                "-out", p(name + ".pem"))
    return config


class Authority(http.server.BaseHTTPRequestHandler):
    """Answers a timestamp query with `openssl ts -reply`, or with 500 while `refuse` is set."""
    work = config = None
    refuse = False
    answered = 0

    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        reply = b""
        if not Authority.refuse and self.headers.get("Content-Type") == "application/timestamp-query":
            with tempfile.TemporaryDirectory(dir=self.work) as d:
                with open(os.path.join(d, "q.tsq"), "wb") as f:
                    f.write(query)
                p = lambda name: os.path.join(self.work, name)
                r = run(["openssl", "ts", "-reply", "-config", self.config, "-queryfile", os.path.join(d, "q.tsq"),
                         "-inkey", p("tsa.key"), "-signer", p("tsa.pem"), "-chain", p("ca.pem"),
                         "-out", os.path.join(d, "r.tsr")])
                if r.returncode == 0:
                    reply = open(os.path.join(d, "r.tsr"), "rb").read()
        if not reply:
            try:
                self.send_error(500)
            except (BrokenPipeError, ConnectionResetError):
                pass  # the client stops reading at the status line
            return
        Authority.answered += 1
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


failures = []


def check(ok, what, detail=""):
    print(("ok   " if ok else "FAIL ") + what + ("" if ok or not detail else "\n" + detail[-1500:]))
    if not ok:
        failures.append(what)


def main():
    bin_dir, root, scratch = sys.argv[1:4]
    missing = [tool for tool in ("openssl", "osslsigncode") if not shutil.which(tool)]
    if missing:
        print("SKIPPED: " + " and ".join(missing) + " not installed (scripts/bootstrap installs them)")
        return SKIPPED
    os.makedirs(scratch, exist_ok=True)
    work = tempfile.mkdtemp(prefix="timestamp-", dir=scratch)
    Authority.work, Authority.config = work, make_certificates(work)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Authority)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    url = f"http://127.0.0.1:{server.server_port}/"
    p = lambda name: os.path.join(work, name)
    program = os.path.join(bin_dir, "SampleSetup.exe")
    unsigned = open(program, "rb").read()

    def sign(name, env):
        path = p(name)
        shutil.copyfile(program, path)
        full = dict(os.environ, SETUP_SIGN_CERT=p("code.pem"), SETUP_SIGN_KEY=p("code.key"))
        full.pop("SETUP_SIGN_TIMESTAMP_URL", None)
        r = run([os.path.join(root, "scripts", "sign"), "Timestamp test", path], env={**full, **env})
        return path, r

    def verify(path, tsa_ca="ca.pem", at=None):
        args = ["osslsigncode", "verify", "-CAfile", p("ca.pem"), "-TSA-CAfile", p(tsa_ca), "-in", path]
        return run(args + (["-time", str(at)] if at else []))

    # The signer's certificate has expired two days from now.
    expired = int(time.time()) + 2 * DAY
    fixed = 1_700_000_000  # 2023-11-14 22:13:20 UTC

    stamped, r = sign("stamped.exe", {"SETUP_SIGN_TIMESTAMP_URL": url, "SETUP_SIGN_TIME": str(fixed)})
    check(r.returncode == 0 and Authority.answered == 1, "signed with one query to the server", r.stdout)
    v = verify(stamped, at=expired)
    check(v.returncode == 0 and "Timestamp Server Signature verification: ok" in v.stdout
          and "Signature verification: ok" in v.stdout,
          "the timestamped signature verifies after the certificate expired", v.stdout)
    check("Timestamp time: " in v.stdout and "2023" not in v.stdout,
          "the server's time, not SETUP_SIGN_TIME, is in the signature", v.stdout)
    v = verify(stamped, tsa_ca="stranger.pem")
    check("Timestamp Server Signature verification: failed" in v.stdout,
          "a timestamp from an authority not trusted does not verify")

    plain, r = sign("plain.exe", {"SETUP_SIGN_TIME": str(fixed)})
    check(r.returncode == 0, "signed without a server", r.stdout)
    v = verify(plain)
    check("Signing time: Nov 14 22:13:20 2023 GMT" in v.stdout and "Timestamp time" not in v.stdout,
          "without a server: SETUP_SIGN_TIME, no timestamp", v.stdout)
    check(verify(plain, at=expired).returncode != 0, "without a timestamp: refused once the certificate expired")

    Authority.refuse = True
    refused, r = sign("refused.exe", {"SETUP_SIGN_TIMESTAMP_URL": url})
    check(r.returncode != 0 and open(refused, "rb").read() == unsigned and not os.path.exists(refused + ".signed"),
          "a server that refuses fails the signing; the file stays unsigned", r.stdout)
    server.shutdown()
    server.server_close()
    closed, r = sign("closed.exe", {"SETUP_SIGN_TIMESTAMP_URL": url})
    check(r.returncode != 0, "a server that cannot be reached fails the signing")

    shutil.rmtree(work, ignore_errors=True)
    print("FAILED: " + str(len(failures)) if failures else "PASS")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
