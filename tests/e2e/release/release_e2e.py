#!/usr/bin/env python3
"""Release-engineering cases: signed launchers, reproducible builds, build
input checks, and a launcher built by another project.

  signed        the demo launcher signed with the demo publisher's PKCS#12
                key, its Windows Installer packages signed too: osslsigncode
                verifies launcher and packages, the container holds the
                signed packages, a changed byte breaks the signature, the
                unsigned image kept is what was signed, signing at
                SOURCE_DATE_EPOCH is reproducible, and a silent
                installation under Wine succeeds
  inputs        a small project of add_stub_installer calls, each with one
                input wrong: every build stops with a message naming the
                input and leaves no launcher and no signed package; a
                package that appears later is then built in and tracked; a
                carried certificate of another publisher gets a warning; a
                launcher signed by a signing command of the vendor's, with
                its own description and link; a signed launcher signed
                again when SOURCE_DATE_EPOCH changes, and only then
  reproducible  the demo launcher (release build) from two copies of the
                sources into two fresh build trees, all at different paths:
                the same bytes, no link time, no source or build paths
  vendor        examples/vendor-launcher copied out and built as another
                project would, signed and time-stamped by a local time-stamp
                server (which first refuses the launcher's time-stamp: the
                build stops and no unsigned launcher is left under its
                name); signatures and time-stamps verified, the PE
                hardening of tests/e2e/release/pe_hardening.py, no build
                paths; the launcher's version record, manifest and icons
                are the example's identity options; with --wine (and an X
                display) under Wine: --silent --version shows the version
                text, a message box has the vendor's caption, the vendor's
                launcher and the demo launcher (another mutex) each install
                while the other runs, and a second vendor launcher started
                meanwhile exits with 1

Build trees and Wine prefixes live in --work/<case>, which is removed when
the case passed. Exit code 0 when the case passed, 1 otherwise.
Usage: release_e2e.py --case NAME [options, see main()]
"""
import argparse
import glob
import hashlib
import http.server
import os
import re
import shutil
import struct
import subprocess
import sys
import threading
import time
import types
import xml.etree.ElementTree as ElementTree

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import install_e2e as inst  # noqa: E402
import launcher_e2e as e2e  # noqa: E402
import pe_hardening  # noqa: E402
import peresources as pe  # noqa: E402
from launcher_e2e import Failure, check  # noqa: E402

VENDOR_PRODUCT = "{46E1A7C2-3B58-4F0D-9C26-8D5A1F3E7B10}"
VENDOR_DIR = "Fernhill Notes"
VENDOR_EXE = "FernhillNotesSetup.exe"
VENDOR_PACKAGE = "FernhillNotes-3.4.1-x64.msi"


# --- tools ------------------------------------------------------------------

def run(argv, cwd=None, env=None, timeout=1200):
    """Runs a command; returns (exit code, standard output and error
    together, seconds)."""
    started = time.monotonic()
    p = subprocess.run(argv, cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=timeout)
    return p.returncode, p.stdout.decode("utf-8", "replace"), time.monotonic() - started


def configure(args, source, build, *definitions):
    rc, out, secs = run(["cmake", "-S", source, "-B", build, "-G", args.generator,
                         f"-DCMAKE_TOOLCHAIN_FILE={args.toolchain}"] + list(definitions))
    check(rc == 0, f"configuring {source} in {build} failed:\n{out}")
    return secs


def build(args, tree, *targets, env=None):
    argv = ["cmake", "--build", tree, "-j", str(args.jobs)]
    for t in targets:
        argv += ["--target", t]
    return run(argv, env=env)


def verify(path, ca, *extra):
    """osslsigncode's verdict on a file's signature: (ok, output)."""
    rc, out, _ = run(["osslsigncode", "verify", "-CAfile", ca] + list(extra) + ["-in", path], timeout=120)
    return rc == 0 and "Signature verification: ok" in out, out


def check_signed(path, ca, subject, *extra):
    ok, out = verify(path, ca, *extra)
    check(ok, f"{path}: the signature does not verify:\n{out}")
    check(subject in out, f"{path}: not signed by {subject}:\n{out}")
    return out


def read(path):
    with open(path, "rb") as f:
        return f.read()


def pe_header_fields(data):
    """Offsets of the bytes a signature changes in a PE image's headers:
    the checksum and the security directory entry."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    check(data[pe:pe + 4] == b"PE\0\0", "not a PE image")
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    directories = opt + (112 if magic == 0x20B else 96)
    return set(range(opt + 64, opt + 68)) | set(range(directories + 4 * 8, directories + 5 * 8))


def pe_timestamp(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    return struct.unpack_from("<I", data, pe + 8)[0]


def check_no_paths(exe, paths):
    """No build machine path in the file: neither in 8-bit nor in UTF-16
    strings."""
    found = []
    for encoding in ("s", "l"):
        rc, out, _ = run(["strings", "-a", "-e", encoding, exe], timeout=120)
        check(rc == 0, f"strings failed on {exe}")
        found += [line for line in out.splitlines() if any(p in line for p in paths)]
    check(not found, f"{exe} names build paths: {found[:10]}")


def thumbprint(der_path):
    return hashlib.sha1(read(der_path)).hexdigest().upper()


def make_cert(work, name, subject, days=2, extensions="extendedKeyUsage = codeSigning"):
    """A self-signed certificate and its key from openssl: (PEM, DER, key)."""
    pem, der, key = (os.path.join(work, f"{name}.{ext}") for ext in ("pem", "der", "key"))
    rc, out, _ = run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                      "-days", str(days), "-subj", subject, "-addext", extensions, "-keyout", key, "-out", pem])
    check(rc == 0, f"openssl req failed: {out}")
    rc, out, _ = run(["openssl", "x509", "-in", pem, "-outform", "der", "-out", der])
    check(rc == 0, f"openssl x509 failed: {out}")
    return pem, der, key


class TimestampServer:
    """A time-stamp authority on 127.0.0.1 answering RFC 3161 requests with
    openssl ts; its certificate is the trust anchor for verification."""

    def __init__(self, work):
        self.work = work
        os.makedirs(work, exist_ok=True)
        self.cert, _, self.key = make_cert(work, "tsa", "/CN=Release Test Time-Stamp Authority",
                                           extensions="extendedKeyUsage = critical, timeStamping")
        serial = os.path.join(work, "serial")
        with open(serial, "w") as f:
            f.write("01\n")
        self.config = os.path.join(work, "tsa.cnf")
        with open(self.config, "w") as f:
            f.write(f"[tsa]\ndefault_tsa = tsa_config\n[tsa_config]\nserial = {serial}\nsigner_digest = sha256\n"
                    "default_policy = 1.3.6.1.4.1.55555.1\ndigests = sha256, sha384, sha512\naccuracy = secs:1\n"
                    "ordering = yes\ntsa_name = yes\ness_cert_id_alg = sha256\n")
        self.requests = 0
        self.refuse_from = None   # the number of the first request refused, if any
        lock = threading.Lock()
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
                with lock:
                    server.requests += 1
                    if server.refuse_from is not None and server.requests >= server.refuse_from:
                        self.send_error(503)
                        return
                    query, reply = (os.path.join(server.work, f"r{server.requests}.{e}") for e in ("tsq", "tsr"))
                    with open(query, "wb") as f:
                        f.write(body)
                    p = subprocess.run(["openssl", "ts", "-reply", "-config", server.config, "-queryfile", query,
                                        "-inkey", server.key, "-signer", server.cert, "-out", reply],
                                       capture_output=True)
                if p.returncode != 0:
                    self.send_error(500)
                    return
                data = read(reply)
                self.send_response(200)
                self.send_header("Content-Type", "application/timestamp-reply")
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                self.wfile.write(data)

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = f"http://127.0.0.1:{self.httpd.server_address[1]}/"
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


# --- Wine -------------------------------------------------------------------

def fresh_machine(args, name, gui=False):
    """A freshly booted Wine prefix of its own, with a context for running
    launchers through the driver (on the X display when @gui): (context,
    machine)."""
    root = os.path.join(args.work, name + "-wine")
    prefix = os.path.join(root, "prefix")
    os.makedirs(root)
    started = time.monotonic()
    subprocess.run(["wineboot", "-i"], env=inst.wine_env(prefix, False), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=600)
    inst.wineserver_kill(prefix, False)
    print(f"fresh Wine prefix booted in {time.monotonic() - started:.1f} s")
    ns = types.SimpleNamespace(case=name, work=root, prefix=prefix, wine=args.wine, driver=args.driver,
                               helper=args.helper, probe=args.probe, launcher=args.launcher or "")
    ctx = e2e.Context(ns)
    if gui:
        ctx.env["DISPLAY"] = os.environ["DISPLAY"]
    ctx.start_wineserver()
    return ctx, inst.Machine(ctx, prefix)


def silent_install(ctx, m, exe, product, install_dir, files, certificate):
    """Installs silently with @exe; checks the product, its files and the
    certificate in the machine's TrustedPublisher store."""
    r = inst.launch(ctx, exe, ["--silent"], timeout=300)
    check(r.exit_code == 0 and r.stdout == "" and r.stderr == "", r.describe())
    states = m.product_states(product)
    check(states == {product: inst.INSTALLED}, f"product states {states}")
    for name, source in files.items():
        installed = m.c("Program Files", install_dir, name)
        check(os.path.isfile(installed) and read(installed) == read(source), f"{installed} was not installed")
    ctx.thumbprint = thumbprint(certificate)
    stores = m.cert_stores()
    check(stores == ["LocalMachine\\TrustedPublisher"], f"certificate {ctx.thumbprint} found in {stores}")
    print(f"silent installation: exit 0 in {r.elapsed:.1f} s, {product} installed, certificate in {stores}")


# --- cases ------------------------------------------------------------------

def case_signed(args):
    exe, unsigned, ca = args.launcher, args.unsigned, args.signing_cert
    subject = "CN=Marrowdale Demo Publisher"
    data = read(exe)
    # The program name the elevation prompt shows is the product's.
    for path in [exe] + args.signed_packages:
        out = check_signed(path, ca, subject)
        check("Text description: Marrowdale Installer" in out, f"{path}: not signed with the product's name:\n{out}")
    for signed_pkg, original in zip(args.signed_packages, args.demo_packages):
        check(read(signed_pkg) in data, f"the launcher does not carry the signed {signed_pkg}")
        check(read(original) not in data, f"the launcher carries the unsigned {original}")
    print(f"launcher and {len(args.signed_packages)} packages verified; the container holds the signed packages")

    # The unsigned image kept beside is what was signed: the signed file is
    # that image with the signature appended and two header fields set.
    plain = read(unsigned)
    ok, out = verify(unsigned, ca)
    check(not ok, f"the unsigned copy {unsigned} verifies:\n{out}")
    check(len(data) > len(plain), "the signed launcher is not longer than the unsigned one")
    changed = {i for i, (a, b) in enumerate(zip(plain, data)) if a != b}
    check(changed <= pe_header_fields(plain), f"signing changed more than the headers: offsets {sorted(changed)[:8]}")

    # One byte of a carried package changed: the signature fails.
    where = data.index(read(args.signed_packages[0])) + 1000
    tampered = os.path.join(args.work, "tampered.exe")
    with open(tampered, "wb") as f:
        f.write(data[:where] + bytes([data[where] ^ 1]) + data[where + 1:])
    ok, out = verify(tampered, ca)
    check(not ok, f"a launcher with a changed package byte still verifies:\n{out}")
    print("a changed package byte breaks the signature")

    # With SOURCE_DATE_EPOCH the signing time is that date, and signing the
    # same image twice gives the same bytes.
    epoch = "1700000000"
    copies = [os.path.join(args.work, f"dated-{n}.exe") for n in (1, 2)]
    for copy in copies:
        rc, out, _ = run([sys.executable, os.path.join(args.source, "tools", "sign-authenticode.py"),
                          "--pkcs12", args.signing_pkcs12, "--password-file", args.signing_password,
                          "--in", unsigned, "--out", copy], env=dict(os.environ, SOURCE_DATE_EPOCH=epoch))
        check(rc == 0, f"signing with SOURCE_DATE_EPOCH failed:\n{out}")
    check(read(copies[0]) == read(copies[1]), "two signings of the same image at the same date differ")
    out = check_signed(copies[0], ca, subject)
    check("Signing time: Nov 14 22:13:20 2023 GMT" in out, f"the signing time is not SOURCE_DATE_EPOCH:\n{out}")
    print("signed at SOURCE_DATE_EPOCH twice: the same bytes")

    ctx, m = fresh_machine(args, "signed")
    files = {n: os.path.join(args.demo_files, n) for n in ("readme.txt", "demo.ini")}
    try:
        silent_install(ctx, m, exe, inst.DEMO_X64, inst.DEMO_DIR, files, args.certificate)
    finally:
        inst.wineserver_kill(ctx.args.prefix, False)


# A vendor's signing command (for keys in a hardware module or a signing
# service): "sign KEY CERT IN OUT [osslsigncode options]" signs, "copy IN
# OUT" exits 0 without signing, "fail ..." fails as a refusing service does.
SIGNING_COMMAND = """import shutil, subprocess, sys
mode = sys.argv[1]
if mode == "fail":
    print("the signing service refused the request", file=sys.stderr)
    sys.exit(3)
if mode == "copy":
    shutil.copy(sys.argv[2], sys.argv[3])
    sys.exit(0)
key, cert, source, out = sys.argv[2:6]
argv = ["osslsigncode", "sign", "-h", "sha256", "-certs", cert, "-key", key, "-in", source, "-out", out]
sys.exit(subprocess.run(argv + sys.argv[6:]).returncode)
"""


def sign_command(f, *words):
    """A SIGN_COMMAND argument running the vendor's signing command."""
    return '"' + " ".join([sys.executable, f.signing_command] + list(words)) + '"'


def pkg_args(f):
    return ["PACKAGE", "3", f.msi]


def inputs_cases(f):
    """(target, add_stub_installer arguments, text the build must show)."""
    pkg = pkg_args(f)
    signed_pkg = ["SIGN_CERT", f.pem, "SIGN_PACKAGES"]
    return [
        ("missing_package", ["PACKAGE", "3", f.missing_msi],
         f"make-container: error: package #0 ({f.missing_msi}): no such file"),
        ("pem_certificate", pkg + ["CERTIFICATE", f.pem],
         f"make-container: error: certificate {f.pem}: a PEM (text) certificate, but the launcher carries "
         f"DER-encoded ones; convert it with: openssl x509 -in {f.pem} -outform der -out {f.pem[:-4]}.der"),
        ("jpeg_splash", pkg + ["CERTIFICATE", f.der, "SPLASH", f.jpeg],
         f"make-container: error: splash picture {f.jpeg}: not a PNG file (it is a JPEG picture; convert it to PNG)"),
        ("missing_key", pkg + ["SIGN_KEY", f.missing_key, "SIGN_CERT", f.pem],
         f"sign-authenticode: error: signing key (SIGN_KEY) {f.missing_key}: no such file"),
        ("missing_cert", pkg + ["SIGN_KEY", f.key, "SIGN_CERT", f.missing_pem],
         f"sign-authenticode: error: signing certificate (SIGN_CERT) {f.missing_pem}: no such file"),
        ("foreign_key", pkg + ["SIGN_KEY", f.other_key, "SIGN_CERT", f.pem],
         f"sign-authenticode: error: signing key (SIGN_KEY) {f.other_key}: the key does not belong to the "
         f"certificate in {f.pem}"),
        ("swapped_key_and_cert", pkg + ["SIGN_KEY", f.pem, "SIGN_CERT", f.key],
         f"sign-authenticode: error: signing key (SIGN_KEY) {f.pem}: a certificate, not a private key"),
        ("missing_pkcs12", pkg + ["SIGN_PKCS12", f.missing_p12],
         f"sign-authenticode: error: PKCS#12 file (SIGN_PKCS12) {f.missing_p12}: no such file"),
        ("wrong_password", pkg + ["SIGN_PKCS12", f.p12, "SIGN_PASSWORD_FILE", f.wrong_password],
         f"sign-authenticode: error: PKCS#12 file (SIGN_PKCS12) {f.p12}: cannot be opened with the password in "
         f"{f.wrong_password}"),
        ("no_password", pkg + ["SIGN_PKCS12", f.p12],
         f"sign-authenticode: error: PKCS#12 file (SIGN_PKCS12) {f.p12}: cannot be opened without a password"),
        ("missing_password_file", pkg + ["SIGN_PKCS12", f.p12, "SIGN_PASSWORD_FILE", f.missing_password],
         f"sign-authenticode: error: password file (SIGN_PASSWORD_FILE) {f.missing_password}: no such file"),
        ("missing_package_to_sign", ["PACKAGE", "3", f.missing_msi, "SIGN_KEY", f.key, "SIGN_CERT", f.pem,
                                     "SIGN_PACKAGES"],
         f"sign-authenticode: error: package {f.missing_msi}: no such file"),
        ("empty_password_file", pkg + ["SIGN_PKCS12", f.p12, "SIGN_PASSWORD_FILE", f.empty_password],
         f"sign-authenticode: error: password file (SIGN_PASSWORD_FILE) {f.empty_password}: the file is empty; "
         "write the key's password into it"),
        ("server_certificate", pkg + ["CERTIFICATE", f.server_der],
         f"make-container: error: certificate {f.server_der} (CN=Web Server): its extended key usage is TLS Web "
         "Server Authentication, not code signing"),
        # Packages that do not fit their architecture, by their summary
        # information's Template or by being a cabinet.
        ("arm64_package_as_x64", ["PACKAGE", "3", f.arm64_msi],
         f"make-container: error: package #0 ({f.arm64_msi}): a Windows Installer package for Template platform "
         "'Arm64' given as architecture 3 (x86-64); give it as 4 (ARM64)"),
        ("x64_package_as_arm64", ["PACKAGE", "4", f.msi],
         f"make-container: error: package #0 ({f.msi}): a Windows Installer package for Template platform 'x64' "
         "given as architecture 4 (ARM64); give it as 3 (x86-64)"),
        ("package_as_all", ["PACKAGE", "1", f.msi],
         f"make-container: error: package #0 ({f.msi}): a Windows Installer package given as architecture 1 "
         "(all), which is for the cabinet shared by every host; Template platform 'x64' makes it 3 (x86-64)"),
        ("cabinet_as_x64", pkg + ["PACKAGE", "3", f.cab],
         f"make-container: error: package #1 ({f.cab}): a cabinet given as architecture 3 (x86-64); the cabinet "
         "is shared by the packages of every host: give it as 1 (all)"),
        # Signed on the way, the package is still named as the vendor gave it.
        ("bad_architecture_signed", ["PACKAGE", "5", f.msi, "SIGN_KEY", f.key, "SIGN_CERT", f.pem, "SIGN_PACKAGES"],
         f"make-container: error: package #0 ({f.msi}): architecture '5' is not one of"),
        ("arm64_package_as_x64_signed", ["PACKAGE", "3", f.arm64_msi, "SIGN_KEY", f.key] + signed_pkg,
         f"make-container: error: package #0 ({f.arm64_msi}): a Windows Installer package for Template platform "
         "'Arm64' given as architecture 3 (x86-64)"),
        # Signing commands that do not give a signature of SIGN_CERT.
        ("command_not_signing", pkg + ["SIGN_COMMAND", sign_command(f, "copy", "{in}", "{out}")] + signed_pkg,
         f"sign-authenticode: error: signing {f.msi} gave no valid signature of the signing certificate:\n"
         "    MSI file has no signature"),
        ("command_failing", pkg + ["SIGN_COMMAND", sign_command(f, "fail", "{in}")] + signed_pkg,
         f"sign-authenticode: error: signing {f.msi} with SIGN_COMMAND failed (exit code 3):"),
        ("command_signing_with_another_key",
         pkg + ["SIGN_COMMAND", sign_command(f, "sign", f.other_key, f.other_pem, "{in}", "{out}")] + signed_pkg,
         f"sign-authenticode: error: signing {f.msi} gave no valid signature of the signing certificate:\n"
         "    it is signed with another certificate than the signing certificate"),
    ] + [(target, pkg + [option, value], f"make-identity: error: {option} {shown}: {why}")
         for target, option, value, shown, why in [
        ("five_numbers", "VERSION", "1.2.3.4.5", "'1.2.3.4.5'", "has 5 numbers; at most four"),
        ("number_too_large", "VERSION", "7.65536", "'7.65536'", "the number 65536 is larger than 65535"),
        ("empty_version", "VERSION", '""', "''",
         "must not be empty; give one to four numbers 0..65535 separated by dots"),
        ("words_in_version", "VERSION", "7.2-rc1", "'7.2-rc1'",
         "must be one to four numbers 0..65535 separated by dots"),
        ("png_icon", "ICON", f.png, f"'{f.png}'", "not an .ico file (a PNG picture; convert it to an .ico file)"),
        ("cut_icon", "ICON", f.cut_ico, f"'{f.cut_ico}'", "not an .ico file (image #0 lies outside the file)"),
        ("missing_icon", "ICON", f.missing_ico, f"'{f.missing_ico}'", "no such file"),
        ("bogus_level", "EXECUTION_LEVEL", "requireAdmin", "'requireAdmin'",
         "must be one of requireAdministrator, highestAvailable, asInvoker"),
        ("bogus_dpi", "DPI_AWARE", "maybe", "'maybe'", "must be ON or OFF"),
        ("bogus_long_paths", "LONG_PATH_AWARE", "always", "'always'", "must be ON or OFF"),
        ("empty_product", "PRODUCT_NAME", '""', "''", "must not be empty"),
        ("mutex_path", "MUTEX_NAME", "Fernhill/Setup\\\\x", "'Fernhill/Setup\\x'",
         "may hold a backslash only after the namespace Global or Local"),
    ]]


def case_inputs(args):
    root = args.work
    files = os.path.join(root, "files")
    os.makedirs(files)
    f = types.SimpleNamespace()
    f.msi, f.arm64_msi, f.cab = (shutil.copy(p, files) for p in args.demo_packages)
    f.pem, f.der, f.key = make_cert(files, "publisher", "/CN=Inputs Test Publisher")
    f.other_pem, f.other_der, f.other_key = make_cert(files, "other", "/CN=Another Publisher")
    _, f.server_der, _ = make_cert(files, "server", "/CN=Web Server", extensions="extendedKeyUsage = serverAuth")
    f.empty_password = os.path.join(files, "empty-password.txt")
    open(f.empty_password, "w").close()
    f.signing_command = os.path.join(files, "vendor-sign.py")
    with open(f.signing_command, "w") as out:
        out.write(SIGNING_COMMAND)
    f.p12 = os.path.join(files, "publisher.p12")
    f.password, f.wrong_password = os.path.join(files, "password.txt"), os.path.join(files, "wrong-password.txt")
    for path, text in ((f.password, "right horse\n"), (f.wrong_password, "wrong horse\n")):
        with open(path, "w") as out:
            out.write(text)
    rc, out, _ = run(["openssl", "pkcs12", "-export", "-inkey", f.key, "-in", f.pem, "-passout",
                      f"file:{f.password}", "-out", f.p12])
    check(rc == 0, f"openssl pkcs12 failed: {out}")
    f.jpeg = os.path.join(files, "splash.jpg")
    with open(f.jpeg, "wb") as out:
        out.write(b"\xff\xd8\xff\xe0\0\x10JFIF\0\x01\x01\0\0\x01\0\x01\0\0\xff\xd9")
    # A PNG that is no icon, and an icon whose only image is cut short.
    f.png = os.path.join(args.source, "examples", "vendor-launcher", "splash.png")
    f.cut_ico = os.path.join(files, "cut.ico")
    with open(f.cut_ico, "wb") as out:
        out.write(struct.pack("<HHHBBBBHHII", 0, 1, 1, 16, 16, 0, 0, 1, 32, 1128, 22) + b"\0" * 40)
    for name in ("msi", "key", "pem", "p12", "password", "ico"):
        setattr(f, f"missing_{name}", os.path.join(files, f"missing.{name}"))

    # One project, one launcher per case, the tree added as another
    # project adds it; then the launchers built from good inputs.
    cases = inputs_cases(f)
    good = {
        "foreign_certificate": pkg_args(f) + ["CERTIFICATE", f.other_der, "SIGN_KEY", f.key, "SIGN_CERT", f.pem],
        "command_signed": pkg_args(f) + [
            "PACKAGE", "1", f.cab, "CERTIFICATE", f.der, "SIGN_CERT", f.pem, "SIGN_PACKAGES",
            "SIGN_COMMAND", sign_command(f, "sign", f.key, f.pem, "{in}", "{out}", "-n", "{description}", "-i", "{url}"),
            "SIGN_DESCRIPTION", '"Inputs Test Product"', "SIGN_URL", "https://example.com/inputs-test"],
        "dated": pkg_args(f) + ["CERTIFICATE", f.der, "SIGN_KEY", f.key, "SIGN_CERT", f.pem, "SIGN_PACKAGES"],
    }
    src = os.path.join(root, "project")
    os.makedirs(src)
    with open(os.path.join(src, "CMakeLists.txt"), "w") as out:
        out.write("cmake_minimum_required(VERSION 3.25)\nproject(release_inputs LANGUAGES C CXX)\n"
                  f"set(ZOLT_TESTS OFF)\nadd_subdirectory({args.source} zolt EXCLUDE_FROM_ALL)\n")
        for target, stub_args in [(t, a) for t, a, _ in cases] + list(good.items()):
            out.write(f"add_stub_installer({target} {' '.join(stub_args)})\n")
    tree = os.path.join(root, "build")
    secs = configure(args, src, tree)
    print(f"configured in {secs:.1f} s")
    failed = 0
    for target, _, want in cases:
        rc, out, secs = build(args, tree, target)
        exe = os.path.join(tree, f"{target}.exe")
        # A failed signature leaves no signed package either.
        signed = glob.glob(os.path.join(tree, f"{target}-container", "signed", "*", "*"))
        if not want.startswith("sign-authenticode:"):
            signed = []
        ok = rc != 0 and want in out and not os.path.exists(exe) and not signed
        print(f"{'ok  ' if ok else 'FAIL'} {target} ({secs:.1f} s): {want}")
        if not ok:
            failed += 1
            print(f"    exit {rc}, launcher {'left' if os.path.exists(exe) else 'absent'}, signed files left: "
                  f"{signed}; output:\n{out}")
    check(not failed, f"{failed} of {len(cases)} bad inputs were not refused as expected")

    # A carried certificate of another publisher than the signer's: the
    # build goes on with a warning naming both.
    rc, out, secs = build(args, tree, "foreign_certificate_container")
    want = (f"make-container: warning: certificate {f.other_der} (CN=Another Publisher) is neither the launcher's "
            "signer nor the signer of the signed packages (CN=Inputs Test Publisher)")
    check(rc == 0 and want in out, f"no warning about the foreign certificate:\n{out}")
    print(f"the foreign certificate warned of in {secs:.1f} s")

    # The missing package appears: it is built in, and from then on a change
    # of it rebuilds the launcher.
    shutil.copy(f.msi, f.missing_msi)
    rc, out, secs = build(args, tree, "missing_package")
    exe = os.path.join(tree, "missing_package.exe")
    check(rc == 0 and os.path.isfile(exe), f"the package appeared, yet the build failed:\n{out}")
    check(read(f.missing_msi) in read(exe), "the launcher does not carry the package that appeared")
    print(f"the package appeared: launcher built in {secs:.1f} s")
    with open(f.missing_msi, "ab") as out:
        out.write(b"one more byte")
    rc, out, secs = build(args, tree, "missing_package")
    check(rc == 0 and read(f.missing_msi) in read(exe), f"a changed package did not rebuild the launcher:\n{out}")
    print(f"the changed package rebuilt the launcher in {secs:.1f} s")

    # The vendor's signing command signs launcher and package, with the
    # description and link given; the carried certificate is the signer's.
    rc, out, secs = build(args, tree, "command_signed")
    check(rc == 0 and "warning" not in out, f"the launcher signed by a command failed:\n{out}")
    exe = os.path.join(tree, "command_signed.exe")
    signed_pkg = os.path.join(tree, "command_signed-container", "signed", "0", os.path.basename(f.msi))
    for path in (exe, signed_pkg):
        out = check_signed(path, f.pem, "CN=Inputs Test Publisher")
        check("Text description: Inputs Test Product" in out and "URL description: https://example.com/inputs-test"
              in out, f"{path}: not signed with the description and link given:\n{out}")
    check(read(signed_pkg) in read(exe), "the launcher does not carry the package the command signed")
    print(f"signed by the vendor's command, with description and link, in {secs:.1f} s")

    # Signed at SOURCE_DATE_EPOCH; a new one signs launcher and package
    # again, an unchanged one signs nothing.
    exe = os.path.join(tree, "dated.exe")
    signed_pkg = os.path.join(tree, "dated-container", "signed", "0", os.path.basename(f.msi))
    for epoch, when in (("1700000000", "Nov 14 22:13:20 2023 GMT"), ("1710000000", "Mar  9 16:00:00 2024 GMT")):
        rc, out, secs = build(args, tree, "dated", env=dict(os.environ, SOURCE_DATE_EPOCH=epoch))
        check(rc == 0, f"building the dated launcher failed:\n{out}")
        for path in (exe, signed_pkg):
            out = check_signed(path, f.pem, "CN=Inputs Test Publisher")
            check(f"Signing time: {when}" in out and "Text description: Marrowdale Installer" in out,
                  f"{path}: not signed at SOURCE_DATE_EPOCH {epoch} ({when}) with the product's name:\n{out}")
        print(f"SOURCE_DATE_EPOCH {epoch}: launcher and package signed at {when} in {secs:.1f} s")
    times = [os.stat(p).st_mtime_ns for p in (exe, signed_pkg)]
    rc, out, secs = build(args, tree, "dated", env=dict(os.environ, SOURCE_DATE_EPOCH="1710000000"))
    check(rc == 0 and "Signing" not in out and times == [os.stat(p).st_mtime_ns for p in (exe, signed_pkg)],
          f"an unchanged build signed again:\n{out}")
    print(f"unchanged: nothing signed again ({secs:.1f} s)")


def snapshot(source, dest):
    """A copy of the source tree (without its build folders and history),
    file times kept: the demo payload takes its date from its sources."""
    def ignore(folder, names):
        return {"build", ".git"} & set(names) if os.path.samefile(folder, source) else set()
    shutil.copytree(source, dest, ignore=ignore, symlinks=True)


def case_reproducible(args):
    root = args.work
    # The demo publisher's certificate is made with a new key by every
    # build; both builds take the same one, as any input.
    cert, key = os.path.join(root, "publisher.der"), os.path.join(root, "publisher.key")
    rc, out, _ = run([os.path.join(args.source, "payload", "make-cert.sh"), cert, key])
    check(rc == 0, f"make-cert.sh failed: {out}")
    # Two copies of the sources at different paths, made at once: the
    # builds see the same inputs even while the tree is being edited, and
    # no path of either copy may show in a launcher.
    sources = [os.path.join(root, "source-a"), os.path.join(root, "sources", "b", "at-another-deeper-path")]
    snapshot(args.source, sources[0])
    shutil.copytree(sources[0], sources[1], symlinks=True)
    trees = [os.path.join(root, "build-a"), os.path.join(root, "builds", "second-tree", "at-another-deeper-path")]
    exes = []
    for source, tree in zip(sources, trees):
        c = configure(args, source, tree, "-DZOLT_TESTS=OFF", "-DCMAKE_BUILD_TYPE=MinSizeRel",
                      "-DCMAKE_INTERPROCEDURAL_OPTIMIZATION=ON", f"-DZOLT_DEMO_PUBLISHER_CERT={cert}",
                      f"-DZOLT_DEMO_PUBLISHER_KEY={key}")
        rc, out, b = build(args, tree, "marrowdale_installer")
        check(rc == 0, f"building the launcher in {tree} failed:\n{out}")
        exes.append(os.path.join(tree, "installer", "MarrowdaleInstaller.exe"))
        print(f"{tree}: configured in {c:.1f} s, launcher built in {b:.1f} s")
    first, second = (read(e) for e in exes)
    if first != second:
        diff = [i for i, (a, b) in enumerate(zip(first, second)) if a != b]
        raise Failure(f"the launchers differ: {len(first)} and {len(second)} bytes, {len(diff)} bytes differ, "
                      f"the first at offset {diff[0] if diff else min(len(first), len(second))}")
    check(pe_timestamp(first) == 0, f"link time in the PE header: {pe_timestamp(first):#x}")
    check_no_paths(exes[0], [args.source] + sources + trees)
    print(f"both launchers: {len(first)} bytes, identical, no link time, no source or build paths")


def case_vendor(args):
    root = args.work
    # The example as a vendor has it: a project of its own elsewhere.
    project = os.path.join(root, "project")
    shutil.copytree(os.path.join(args.source, "examples", "vendor-launcher"), project)
    tree = os.path.join(root, "build")
    exe = os.path.join(tree, VENDOR_EXE)
    unsigned = os.path.join(tree, "fernhill_launcher-container", "unsigned", VENDOR_EXE)

    tsa = TimestampServer(os.path.join(root, "tsa"))
    try:
        # The time-stamp server answers the package's request and refuses
        # the launcher's: the build stops at signing the launcher and
        # leaves none under the name that is shipped.
        tsa.refuse_from = 2
        secs = configure(args, project, tree, f"-DZOLT_SOURCE_DIR={args.source}", f"-DVENDOR_TIMESTAMP_URL={tsa.url}")
        rc, out, b = build(args, tree)
        check(rc != 0 and f"signing or time-stamping through {tsa.url} {unsigned} failed" in out,
              f"a refused time-stamp did not stop the build:\n{out}")
        check(not os.path.exists(exe), f"{exe} was left after signing failed")
        check(os.path.isfile(unsigned), f"no unsigned image in {unsigned}")
        print(f"configured in {secs:.1f} s; built until the launcher's time-stamp was refused in {b:.1f} s; "
              "no launcher left")
        tsa.refuse_from = None
        rc, out, b = build(args, tree)
        check(rc == 0, f"building the vendor's launcher failed:\n{out}")
        check(tsa.requests == 3, f"{tsa.requests} time-stamps asked for; expected the launcher's once more only")
        print(f"signed and time-stamped by {tsa.url} in {b:.1f} s")
    finally:
        tsa.close()
    ca = os.path.join(tree, "publisher.pem")
    subject = "CN=Fernhill Software Code Signing"
    signed_pkg = os.path.join(tree, "fernhill_launcher-container", "signed", "0", VENDOR_PACKAGE)
    for path in (exe, signed_pkg):
        out = check_signed(path, ca, subject, "-TSA-CAfile", tsa.cert)
        check("Timestamp Server Signature verification: ok" in out, f"{path}: no valid time-stamp:\n{out}")
        check("Text description: Fernhill Notes 3.4.1" in out and "URL description: https://fernhill.example/notes"
              in out, f"{path}: not signed with the vendor's program name and link:\n{out}")
    check(read(signed_pkg) in read(exe), "the launcher does not carry the signed package")
    check(pe_timestamp(read(exe)) == 0, "link time in the PE header")
    # The loader's hardening flags, signed and unsigned alike (signing
    # rewrites the checksum).
    for path in (exe, unsigned):
        arch, results = pe_hardening.check_image(path, None)
        bad = [f"{name}: {detail}" for name, ok, detail in results if not ok]
        check(not bad, f"{path} ({arch}) lacks PE hardening: " + "; ".join(bad))
    check_no_paths(exe, [args.source, root])
    print(f"{VENDOR_EXE}: {os.path.getsize(exe)} bytes, launcher and package signed and time-stamped, "
          "PE hardening in place, no build paths")

    identity = example_identity(os.path.join(project, "CMakeLists.txt"), tree)
    check_identity(exe, identity)

    if not args.wine:
        print("no installation: this build runs none under Wine")
        return
    check("DISPLAY" in os.environ, "the vendor case under Wine needs an X display (xvfb-run)")
    ctx, m = fresh_machine(args, "vendor", gui=True)
    try:
        vendor_runs(ctx, m, args, exe, identity, project, tree)
    finally:
        inst.wineserver_kill(ctx.args.prefix, True)


IDENTITY_OPTIONS = ("PRODUCT_NAME", "COMPANY_NAME", "COPYRIGHT", "VERSION", "VERSION_TEXT", "ICON", "EXECUTION_LEVEL",
                    "DPI_AWARE", "LONG_PATH_AWARE", "MUTEX_NAME")


def example_identity(cmakelists, tree):
    """The identity options the example's add_stub_installer call sets:
    {option: value}, ${out} resolved to the build tree. Each must be set."""
    with open(cmakelists, encoding="utf-8") as f:
        text = f.read()
    options = {}
    for name in IDENTITY_OPTIONS:
        m = re.search(rf'^\s+{name}\s+(?:"([^"]*)"|(\S+?))\)?$', text, re.M)
        check(m, f"{cmakelists} sets no {name}")
        options[name] = (m.group(1) if m.group(1) is not None else m.group(2)).replace("${out}", tree)
    return options


def check_identity(exe, options):
    """The launcher's version record, manifest and icons against the
    identity options it was built with."""
    res = pe.resources(read(exe))
    numbers = tuple(int(n) for n in options["VERSION"].split(".")) + (0,) * (4 - options["VERSION"].count(".") - 1)
    file_version, product_version, strings = pe.version_record(pe.one(res, pe.RT_VERSION)[1])
    check(file_version == numbers and product_version == numbers,
          f"binary versions {file_version} and {product_version}, expected {numbers}")
    name = os.path.basename(exe)
    want = {"CompanyName": options["COMPANY_NAME"], "FileDescription": options["PRODUCT_NAME"],
            "FileVersion": ".".join(map(str, numbers)), "InternalName": os.path.splitext(name)[0],
            "LegalCopyright": options["COPYRIGHT"], "OriginalFilename": name,
            "ProductName": options["PRODUCT_NAME"], "ProductVersion": options["VERSION_TEXT"]}
    check(strings == want, f"version record {strings}, expected {want}")

    ns = {"a": "urn:schemas-microsoft-com:asm.v1", "s3": "urn:schemas-microsoft-com:asm.v3",
          "w05": "http://schemas.microsoft.com/SMI/2005/WindowsSettings",
          "w16": "http://schemas.microsoft.com/SMI/2016/WindowsSettings"}
    manifest = ElementTree.fromstring(pe.one(res, pe.RT_MANIFEST)[1])
    ident = manifest.find("a:assemblyIdentity", ns)
    level = manifest.find("s3:trustInfo/s3:security/s3:requestedPrivileges/s3:requestedExecutionLevel", ns)
    settings = "s3:application/s3:windowsSettings/"
    dpi, long_paths = (manifest.find(settings + tag, ns) for tag in ("w05:dpiAware", "w16:longPathAware"))
    got = (ident.get("name"), ident.get("version"), level.get("level"), dpi is not None and dpi.text,
           long_paths is not None and long_paths.text)
    on = {"ON": "true", "OFF": False}
    expected = (".".join(re.findall(r"[A-Za-z0-9]+", options["PRODUCT_NAME"])), ".".join(map(str, numbers)),
                options["EXECUTION_LEVEL"], on[options["DPI_AWARE"]], on[options["LONG_PATH_AWARE"]])
    check(got == expected, f"manifest name, version, level, dpiAware, longPathAware {got}, expected {expected}")

    icons, ico = pe.icon_images(res), pe.ico_images(read(options["ICON"]))
    check(icons == ico, f"icon images {[(w, h, len(b)) for w, h, b in icons]}, the .ico file's "
          f"{[(w, h, len(b)) for w, h, b in ico]}")
    print(f"{name}: version record {want['ProductName']!r} {want['ProductVersion']!r}, manifest {got}, "
          f"icons {[w for w, _, _ in icons]} as in {os.path.basename(options['ICON'])}")


def find_box(title, timeout=120):
    """A visible message box captioned @title: a dialog (class "#32770") of
    that caption, found by the helper, and its X window."""
    ids = []

    def found():
        ids[:] = e2e.xdotool("search", "--onlyvisible", "--name", f"^{re.escape(title)}$", check_rc=False).split()
        return bool(ids)
    e2e.wait_for(found, timeout, f"a window titled {title!r}")
    return ids


def box_text(ctx, title):
    """The text of the message box captioned exactly @title, as the helper
    finds it from the Windows side; "" while there is none."""
    p = ctx.wine_popen([ctx.args.helper, "box-text", title])
    out, _ = p.communicate(timeout=60)
    return out.decode("utf-8", "replace").replace("\r\n", "\n") if p.returncode == 0 else ""


def held_box(ctx, exe, title, target):
    """Starts @exe interactively to extract into @target: it shows "Files
    were extracted to: <target>" in a box captioned @title and holds its
    mutex until the box is dismissed. Returns (run, the box's X windows)."""
    run = ctx.start(exe, ["--extract", "--path", e2e.winpath(target)])
    want = f"Files were extracted to: {e2e.winpath(target)}"
    e2e.wait_for(lambda: want in box_text(ctx, title) or run.proc.poll() is not None, 120,
                 f"a box captioned {title!r} showing {want!r}")
    if run.proc.poll() is not None:
        raise Failure(f"{os.path.basename(exe)} ended without its box: {run.wait().describe()}")
    return run, find_box(title)


def dismiss_all(ids):
    for wid in ids:
        e2e.dismiss(wid)


def vendor_runs(ctx, m, args, exe, identity, project, tree):
    name = os.path.basename(exe)
    r = inst.launch(ctx, exe, ["--silent", "--version"])
    want = f"Version: {identity['VERSION_TEXT']}\n"
    check(r.exit_code == 0 and r.stdout == want and r.stderr == "", f"--silent --version: {r.describe()}")
    print(f"--silent --version: {want.strip()!r}")
    # The help names the product where the demo's names Marrowdale, and
    # nothing else changes.
    r = inst.launch(ctx, exe, ["--silent", "--help"])
    product = identity["PRODUCT_NAME"]
    demo_help = e2e.HELP.format(e2e.winpath(exe))
    want = (demo_help.replace(f"-- {e2e.TITLE} v{e2e.VERSION} --", f"-- {product} v{identity['VERSION_TEXT']} --")
            .replace("Marrowdale", product) + "\n")
    check(r.exit_code == 0 and r.stdout == want and r.stderr == "", f"--silent --help: {r.describe()}")
    print(f"--silent --help: the demo's text with {product!r} and {identity['VERSION_TEXT']!r}")

    # The vendor's launcher runs, holding its mutex while its box is open:
    # the demo launcher (the default mutex) installs meanwhile, and another
    # start of the vendor's launcher is refused.
    title = identity["PRODUCT_NAME"]
    run, box = held_box(ctx, exe, title, os.path.join(ctx.work, "held-vendor"))
    print(f"{name} runs with a box captioned {title!r}")
    try:
        r = inst.launch(ctx, args.demo_launcher, ["--silent"], timeout=300)
        check(r.exit_code == 0 and r.stdout == "" and r.stderr == "", f"the demo launcher meanwhile: {r.describe()}")
        check(m.product_states(inst.DEMO_X64) == {inst.DEMO_X64: inst.INSTALLED}, "the demo product is not installed")
        print("meanwhile the demo launcher installed its product")
        r = inst.launch(ctx, exe, ["--silent"])
        want = f"{name}: error: Another installer is already running\n"
        check(r.exit_code == 1 and r.stdout == "" and r.stderr == want, f"a second {name} meanwhile: {r.describe()}")
        print(f"meanwhile a second {name}: exit 1, {want.strip()!r}")
    finally:
        dismiss_all(box)
    r = run.wait()
    check(r.exit_code == 0, f"the held vendor launcher: {r.describe()}")

    # And the other way round: the demo launcher runs, the vendor's installs.
    run, box = held_box(ctx, args.demo_launcher, e2e.TITLE, os.path.join(ctx.work, "held-demo"))
    try:
        files = {n: os.path.join(project, "files", n) for n in ("notes.txt", "settings.ini")}
        silent_install(ctx, m, exe, VENDOR_PRODUCT, VENDOR_DIR, files, os.path.join(tree, "publisher.der"))
        print(f"meanwhile {name} installed its product, the demo launcher running with a box captioned {e2e.TITLE!r}")
    finally:
        dismiss_all(box)
    r = run.wait()
    check(r.exit_code == 0, f"the held demo launcher: {r.describe()}")


CASES = {"signed": case_signed, "inputs": case_inputs, "reproducible": case_reproducible, "vendor": case_vendor}


def main(argv):
    p = argparse.ArgumentParser()
    p.add_argument("--case", required=True, choices=sorted(CASES))
    p.add_argument("--work", required=True)
    p.add_argument("--source", required=True, help="the launcher's source tree")
    p.add_argument("--toolchain", required=True)
    p.add_argument("--generator", default="Ninja")
    p.add_argument("--jobs", type=int, default=2)
    # Wine runs (signed; vendor when given)
    for opt in ("wine", "driver", "helper", "probe"):
        p.add_argument("--" + opt)
    # signed, inputs
    p.add_argument("--launcher")
    p.add_argument("--unsigned")
    p.add_argument("--signing-cert")
    p.add_argument("--signing-pkcs12")
    p.add_argument("--signing-password")
    p.add_argument("--certificate")
    p.add_argument("--demo-files")
    p.add_argument("--demo-packages", nargs="+", default=[])
    p.add_argument("--signed-packages", nargs="+", default=[])
    # vendor, with --wine
    p.add_argument("--demo-launcher")
    args = p.parse_args(argv)
    # Each case works in a fresh folder of its own, removed when it passed
    # (build trees and Wine prefixes take hundreds of megabytes) and kept
    # for a look when it failed.
    args.work = os.path.join(os.path.abspath(args.work), args.case)
    args.source = os.path.abspath(args.source)
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    started = time.monotonic()
    try:
        CASES[args.case](args)
    except Failure as e:
        print(f"FAIL {args.case}: {e}\nits files stay in {args.work}")
        return 1
    shutil.rmtree(args.work, ignore_errors=True)
    print(f"ok {args.case} ({time.monotonic() - started:.0f} s)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
