#!/usr/bin/env python3
"""The container writer's refusals: each bad input stops it with exit code 1
and one message naming the input; the limits themselves are accepted. The
certificates are real ones made by openssl, the pictures real files.

Usage: container_errors.py MAKE-CONTAINER.py
"""
import os
import struct
import subprocess
import sys
import tempfile
import zlib


def run(tool, out, args):
    """Runs the writer into a fresh directory; returns its exit code, its
    message and what it left in the directory."""
    p = subprocess.run([sys.executable, tool, "--output-dir", out] + args, capture_output=True, text=True)
    return p.returncode, p.stderr.strip(), sorted(os.listdir(out)) if os.path.isdir(out) else []


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)
    return path


def png(width, height):
    """A real PNG picture of one colour."""
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    rows = b"".join(b"\0" + b"\x20\x40\x80" * width for _ in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def certificate(work, name="cert", extensions=("extendedKeyUsage = codeSigning",)):
    """A certificate made by openssl, for code signing unless other
    extensions are given: (PEM path, DER path, PEM key path)."""
    pem, der, key = (os.path.join(work, f"{name}.{ext}") for ext in ("pem", "der", "key.pem"))
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                    "-subj", f"/CN=Container Test {name}", "-days", "1", "-keyout", key, "-out", pem]
                   + sum((["-addext", e] for e in extensions), []), check=True, capture_output=True)
    subprocess.run(["openssl", "x509", "-in", pem, "-outform", "der", "-out", der], check=True, capture_output=True)
    return pem, der, key


def main(argv):
    tool = argv[0]
    failures = 0
    with tempfile.TemporaryDirectory() as work:
        # A cabinet as far as the writer looks (its signature): the
        # package shared by all hosts.
        pkg = write(os.path.join(work, "p.cab"), b"MSCF" + bytes(32))
        cab_named_msi = write(os.path.join(work, "cab.msi"), b"MSCF" + bytes(32))
        not_a_package = write(os.path.join(work, "notes.msi"), b"neither database nor cabinet\n")
        empty = os.path.join(work, "empty.cab")
        open(empty, "wb").close()
        pem, der, key = certificate(work)
        _, no_usage, _ = certificate(work, "no-usage", ())
        _, server, _ = certificate(work, "server", ("extendedKeyUsage = serverAuth, emailProtection",))
        with open(der, "rb") as f:
            der_bytes = f.read()
        truncated = write(os.path.join(work, "truncated.der"), der_bytes[:-1])
        trailing = write(os.path.join(work, "trailing.der"), der_bytes + b"\0")
        pem_named_der = write(os.path.join(work, "pem-named.der"), open(pem, "rb").read())
        splash = write(os.path.join(work, "splash.png"), png(4, 2))
        jpeg = write(os.path.join(work, "splash.jpg"), b"\xff\xd8\xff\xe0\0\x10JFIF\0" + b"\0" * 16)
        text = write(os.path.join(work, "splash.txt"), b"not a picture\n")
        missing = os.path.join(work, "missing.msi")  # never created
        one = ["--package", "1", pkg]

        cases = [
            # (label, args, expected exit code, expected text in the message)
            ("architecture 0", ["--package", "0", pkg], 1, "architecture '0' is not one of 1 (all)"),
            ("architecture 5", ["--package", "5", pkg], 1, "architecture '5' is not one of"),
            ("file name of 224 bytes", ["--package", "1", pkg, "--name", "n" * 220 + ".cab"], 1,
             "is 224 bytes; it must fit 224 bytes with its terminator (at most 223)"),
            ("file name of 223 bytes", ["--package", "1", pkg, "--name", "n" * 219 + ".cab"], 0, ""),
            ("cabinet as x86-64 package", ["--package", "3", pkg], 1,
             f"package #0 ({pkg}): a cabinet given as architecture 3 (x86-64); the cabinet is shared by the "
             "packages of every host: give it as 1 (all)"),
            ("cabinet named .msi", ["--package", "1", cab_named_msi], 1,
             f"package #0 ({cab_named_msi}): file name 'cab.msi' must end in .cab, as the launcher tells the "
             "kind of a package by its name"),
            ("cabinet renamed .msi", ["--package", "1", pkg, "--name", "common.msi"], 1,
             "file name 'common.msi' must end in .cab"),
            ("text as package", ["--package", "3", not_a_package], 1,
             f"package #0 ({not_a_package}): neither a Windows Installer package nor a cabinet"),
            ("vendor's file named", ["--package", "1", not_a_package, "--origin", "/vendor/notes.msi"], 1,
             "package #0 (/vendor/notes.msi): neither a Windows Installer package nor a cabinet"),
            ("bad architecture names the vendor's file", ["--package", "7", pkg, "--origin", "/vendor/common.cab"],
             1, "package #0 (/vendor/common.cab): architecture '7' is not one of"),
            ("misfits allowed for tests", ["--package", "3", not_a_package, "--certificate", no_usage,
                                           "--allow-misfits"], 0, ""),
            ("empty package", ["--package", "1", empty], 1, "the package is empty"),
            ("empty package allowed for tests", ["--package", "1", empty, "--allow-empty-packages"], 0, ""),
            ("256 packages", sum((["--package", "1", pkg] for _ in range(256)), []), 1,
             "256 packages given; a container holds at most 255"),
            ("255 packages", sum((["--package", "1", pkg] for _ in range(255)), []), 0, ""),
            ("missing package", ["--package", "3", missing], 1, f"package #0 ({missing}): no such file"),
            ("directory as package", ["--package", "3", work], 1, f"package #0 ({work}): not a regular file"),
            ("missing second package", one + ["--package", "3", missing], 1,
             f"package #1 ({missing}): no such file"),
            ("DER certificate and PNG splash", one + ["--certificate", der, "--splash", splash], 0, ""),
            ("PEM certificate", one + ["--certificate", pem], 1,
             f"certificate {pem}: a PEM (text) certificate, but the launcher carries DER-encoded ones; "
             f"convert it with: openssl x509 -in {pem} -outform der -out {pem[:-4]}.der"),
            ("PEM certificate named .der", one + ["--certificate", pem_named_der], 1,
             f"convert it with: openssl x509 -in {pem_named_der} -outform der -out {pem_named_der[:-4]}.cer"),
            ("PEM key as certificate", one + ["--certificate", key], 1,
             f"certificate {key}: a PEM file holding a private key, not a certificate"),
            ("truncated DER certificate", one + ["--certificate", truncated], 1,
             f"certificate {truncated}: not a DER-encoded certificate"),
            ("DER certificate with trailing bytes", one + ["--certificate", trailing], 1,
             f"certificate {trailing}: not a DER-encoded certificate"),
            ("certificate without extended key usage", one + ["--certificate", no_usage], 1,
             f"certificate {no_usage} (CN=Container Test no-usage): no extended key usage; the launcher adds it "
             "to the TrustedPublisher store, which takes code-signing certificates"),
            ("certificate for servers and mail", one + ["--certificate", server], 1,
             f"certificate {server} (CN=Container Test server): its extended key usage is TLS Web Server "
             "Authentication, E-mail Protection, not code signing"),
            ("second certificate missing", one + ["--certificate", der, "--certificate", missing], 1,
             f"certificate {missing}: no such file"),
            ("JPEG splash", one + ["--splash", jpeg], 1,
             f"splash picture {jpeg}: not a PNG file (it is a JPEG picture; convert it to PNG)"),
            ("text as splash", one + ["--splash", text], 1, f"splash picture {text}: not a PNG file"),
            ("missing splash", one + ["--splash", missing], 1, f"splash picture {missing}: no such file"),
        ]
        for n, (label, args, want_rc, want_text) in enumerate(cases):
            rc, err, left = run(tool, os.path.join(work, f"out{n}"), args)
            # A refused input leaves nothing a later build step could take
            # for a container.
            ok = (rc == want_rc and want_text in err and (rc == 0 or err.startswith("make-container: error: "))
                  and (rc == 0 or left == []))
            print(f"{'ok  ' if ok else 'FAIL'} {label}: exit {rc}, {err!r}" + (f", left {left}" if rc and left else ""))
            failures += not ok
    print(f"{len(cases) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
