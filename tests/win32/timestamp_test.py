#!/usr/bin/env python3
# Signing with a timestamp server (scripts/sign, as scripts/dist signs with
# SETUP_SIGN_TIMESTAMP_URL): a small RFC 3161 authority on this machine,
# `openssl ts -reply` behind a local HTTP server with a throwaway CA, TSA and
# code-signing certificate, countersigns a built program. A timestamped
# signature still verifies after the signer's certificate has expired; one
# without does not; a timestamp from an authority nobody trusts does not
# verify; a server that refuses fails the signing and leaves the file as it was.
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

CONFIG = """[ tsa ]
default_tsa = tsa_config
[ tsa_config ]
serial = {work}/serial
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256, sha384, sha512
ess_cert_id_alg = sha256
[ tsa_cert ]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = critical,timeStamping
[ code_cert ]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = codeSigning
"""


def run(*args, **kw):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kw)


def make_certificates(p):
    """Two CAs valid for two days (one nobody trusts); below the first a TSA
    and a code signer valid for one."""
    open(p("tsa.cnf"), "w").write(CONFIG.format(work=os.path.dirname(p("x"))))
    open(p("serial"), "w").write("01\n")
    steps = [["req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", f"/CN=Test {ca}",
              "-keyout", p(ca + ".key"), "-out", p(ca + ".pem")] for ca in ("ca", "stranger")]
    for serial, name in enumerate(("tsa", "code"), start=2):
        steps += [["req", "-newkey", "rsa:2048", "-nodes", "-subj", f"/CN=Test {name}", "-keyout", p(name + ".key"),
                   "-out", p(name + ".csr")],
                  ["x509", "-req", "-in", p(name + ".csr"), "-CA", p("ca.pem"), "-CAkey", p("ca.key"), "-set_serial",
                   str(serial), "-days", "1", "-extfile", p("tsa.cnf"), "-extensions", name + "_cert",
                   "-out", p(name + ".pem")]]
    for step in steps:
        r = run("openssl", *step)
        if r.returncode != 0:
            raise RuntimeError("openssl " + " ".join(step) + ":\n" + r.stdout)


class Authority(http.server.BaseHTTPRequestHandler):
    """Answers a timestamp query with `openssl ts -reply`; with 500 while `refuse` is set."""
    p = None
    refuse = False
    answered = 0

    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        reply = b""
        if not Authority.refuse and self.headers.get("Content-Type") == "application/timestamp-query":
            with tempfile.TemporaryDirectory() as d:
                open(os.path.join(d, "q"), "wb").write(query)
                p = Authority.p
                if run("openssl", "ts", "-reply", "-config", p("tsa.cnf"), "-queryfile", os.path.join(d, "q"),
                       "-inkey", p("tsa.key"), "-signer", p("tsa.pem"), "-chain", p("ca.pem"),
                       "-out", os.path.join(d, "r")).returncode == 0:
                    reply = open(os.path.join(d, "r"), "rb").read()
        try:
            if not reply:
                self.send_error(500)
                return
            Authority.answered += 1
            self.send_response(200)
            self.send_header("Content-Type", "application/timestamp-reply")
            self.send_header("Content-Length", str(len(reply)))
            self.end_headers()
            self.wfile.write(reply)
        except (BrokenPipeError, ConnectionResetError):
            pass  # a client that gives up at the status line

    def log_message(self, *args):
        pass


def main():
    bin_dir, root, scratch = sys.argv[1:4]
    missing = [tool for tool in ("openssl", "osslsigncode") if not shutil.which(tool)]
    if missing:
        print("SKIPPED: " + " and ".join(missing) + " not installed (scripts/bootstrap installs them)")
        return 77
    os.makedirs(scratch, exist_ok=True)
    work = tempfile.mkdtemp(prefix="timestamp-", dir=scratch)
    p = Authority.p = lambda name: os.path.join(work, name)
    make_certificates(p)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Authority)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    url = f"http://127.0.0.1:{server.server_port}/"
    program = os.path.join(bin_dir, "SampleSetup.exe")
    failures = []

    def check(ok, what, detail=""):
        print(("ok   " if ok else "FAIL ") + what + ("" if ok or not detail else "\n" + detail[-1500:]))
        failures.extend([] if ok else [what])

    def sign(name, **env):
        shutil.copyfile(program, p(name))
        env = dict({k: v for k, v in os.environ.items() if not k.startswith("SETUP_SIGN_")},
                   SETUP_SIGN_CERT=p("code.pem"), SETUP_SIGN_KEY=p("code.key"), SETUP_SIGN_TIME="1700000000", **env)
        return p(name), run(os.path.join(root, "scripts", "sign"), "Timestamp test", p(name), env=env)

    def verify(path, tsa_ca="ca.pem", *more):
        return run("osslsigncode", "verify", "-CAfile", p("ca.pem"), "-TSA-CAfile", p(tsa_ca), "-in", path, *more)

    # Two days from now the signer's certificate has expired.
    expired = ("-time", str(int(time.time()) + 2 * 86400))
    stamped, r = sign("stamped.exe", SETUP_SIGN_TIMESTAMP_URL=url)
    check(r.returncode == 0 and Authority.answered == 1, "signed with one query to the server", r.stdout)
    v = verify(stamped, "ca.pem", *expired)
    check(v.returncode == 0 and "Timestamp Server Signature verification: ok" in v.stdout
          and "Signature verification: ok" in v.stdout,
          "the timestamped signature verifies after the certificate expired", v.stdout)
    check("Timestamp time: " in v.stdout and "2023" not in v.stdout,
          "the server's time, not SETUP_SIGN_TIME, is in the signature", v.stdout)
    check("Timestamp Server Signature verification: failed" in verify(stamped, "stranger.pem").stdout,
          "a timestamp from an authority not trusted does not verify")

    plain, r = sign("plain.exe")
    v = verify(plain)
    check(r.returncode == 0 and "Signing time: Nov 14 22:13:20 2023 GMT" in v.stdout
          and "Timestamp time" not in v.stdout, "without a server: SETUP_SIGN_TIME, no timestamp", r.stdout + v.stdout)
    check(verify(plain, "ca.pem", *expired).returncode != 0, "without a timestamp: refused once the certificate expired")

    Authority.refuse = True
    refused, r = sign("refused.exe", SETUP_SIGN_TIMESTAMP_URL=url)
    check(r.returncode != 0 and open(refused, "rb").read() == open(program, "rb").read()
          and not os.path.exists(refused + ".signed"), "a server that refuses fails the signing; the file stays as it was",
          r.stdout)
    server.shutdown()
    shutil.rmtree(work, ignore_errors=True)
    print(f"FAILED: {len(failures)}" if failures else "PASS")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
