#!/usr/bin/env python3
"""Authenticode signing of a launcher or a Windows Installer package with
osslsigncode, after checking the key files with openssl.

Usage:
  sign-authenticode.py KEY --check STAMP
      check the key files; on success write STAMP
  sign-authenticode.py KEY [--timestamp-url URL] --in FILE --out SIGNED
      sign a copy of FILE into SIGNED
  sign-authenticode.py KEY [--timestamp-url URL] --in-place FILE --keep-unsigned COPY
      keep FILE's bytes in COPY and replace FILE by its signed form; on any
      failure FILE is deleted, so no unsigned file is left under the name
      that is shipped
KEY is --pkcs12 FILE [--password-file FILE], or --key PEM --cert CERT
[--password-file FILE] (CERT in PEM or DER, with its chain after it).

The signature's hash is SHA-256. Its signing time is SOURCE_DATE_EPOCH when
that is set, which makes signing reproducible (the RSA and ECDSA signatures
osslsigncode makes depend only on key and data); a time-stamp authority's
counter-signature carries the real time. Every failure stops with a
message naming the file.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys

OSSLSIGNCODE = "osslsigncode"
OPENSSL = "openssl"


class SignError(Exception):
    pass


def run(argv, stdin=None):
    """Runs a tool; returns (exit code, output, first error line)."""
    try:
        p = subprocess.run(argv, input=stdin, capture_output=True)
    except FileNotFoundError:
        raise SignError(f"{argv[0]} is not installed")
    err = p.stderr.decode("utf-8", "replace").strip()
    return p.returncode, p.stdout, err.splitlines()[0] if err else ""


def check_file(label, path):
    if not os.path.exists(path):
        raise SignError(f"{label} {path}: no such file")
    if not os.path.isfile(path) or not os.access(path, os.R_OK):
        raise SignError(f"{label} {path}: not a readable file")
    with open(path, "rb") as f:
        return f.read()


def passin(password_file):
    return f"file:{password_file}" if password_file else "pass:"


def pem_label(data):
    m = re.match(rb"\s*-----BEGIN ([A-Z0-9 ]+)-----", data)
    return m.group(1).decode() if m else None


def public_key_of_key(label, path, data, password_file):
    """The PEM public key of a private key file, or a SignError saying why
    it is not one openssl can use."""
    kind = pem_label(data)
    if kind and "CERTIFICATE" in kind:
        raise SignError(f"{label} {path}: a certificate, not a private key (are SIGN_KEY and SIGN_CERT swapped?)")
    encrypted = b"ENCRYPTED" in data[:200]
    if encrypted and not password_file:
        raise SignError(f"{label} {path}: the key is encrypted; give its password with SIGN_PASSWORD_FILE")
    rc, out, err = run([OPENSSL, "pkey", "-in", path, "-passin", passin(password_file), "-pubout"])
    if rc != 0:
        if encrypted:
            raise SignError(f"{label} {path}: cannot be decrypted with the password in {password_file}")
        raise SignError(f"{label} {path}: not a private key openssl can read ({err})")
    return out


def public_key_of_cert(label, path, data):
    kind = pem_label(data)
    if kind and "PRIVATE KEY" in kind:
        raise SignError(f"{label} {path}: a private key, not a certificate (are SIGN_KEY and SIGN_CERT swapped?)")
    form = "PEM" if kind else "DER"
    rc, out, err = run([OPENSSL, "x509", "-in", path, "-inform", form, "-pubkey", "-noout"])
    if rc != 0:
        raise SignError(f"{label} {path}: not a certificate openssl can read ({err})")
    return out


def pkcs12_parts(path, password_file):
    """The private key's and the signing certificate's public keys in a
    PKCS#12 file. Files exported by older systems use ciphers that OpenSSL 3
    keeps in its legacy provider, so that is tried second."""
    label = "PKCS#12 file (SIGN_PKCS12)"
    data = check_file(label, path)
    kind = pem_label(data)
    if kind:
        raise SignError(f"{label} {path}: a PEM file holding a {kind.lower()}; give PEM files as SIGN_KEY and "
                        f"SIGN_CERT, or make a PKCS#12 file with: openssl pkcs12 -export -inkey KEY -in CERT "
                        f"-out {os.path.splitext(path)[0]}.p12")
    err = ""
    for legacy in ([], ["-legacy"]):
        common = [OPENSSL, "pkcs12", "-in", path, "-passin", passin(password_file)] + legacy
        rc, key, err = run(common + ["-nocerts", "-nodes"])
        if rc != 0:
            continue
        rc, cert, err = run(common + ["-clcerts", "-nokeys"])
        if rc != 0:
            continue
        if b"PRIVATE KEY" not in key:
            raise SignError(f"{label} {path}: holds no private key")
        if b"CERTIFICATE" not in cert:
            raise SignError(f"{label} {path}: holds no certificate for its key")
        rc, key_pub, err = run([OPENSSL, "pkey", "-pubout"], stdin=key)
        rc2, cert_pub, err2 = run([OPENSSL, "x509", "-pubkey", "-noout"], stdin=cert)
        if rc or rc2:
            raise SignError(f"{label} {path}: its key or certificate cannot be read ({err or err2})")
        return key_pub, cert_pub
    if password_file:
        raise SignError(f"{label} {path}: cannot be opened with the password in {password_file} "
                        f"(wrong password, or not a PKCS#12 file: {err})")
    raise SignError(f"{label} {path}: cannot be opened without a password (give SIGN_PASSWORD_FILE, "
                    f"or it is not a PKCS#12 file: {err})")


def check_keys(args):
    if args.password_file:
        check_file("password file (SIGN_PASSWORD_FILE)", args.password_file)
    if args.pkcs12:
        key_pub, cert_pub = pkcs12_parts(args.pkcs12, args.password_file)
        where = f"PKCS#12 file (SIGN_PKCS12) {args.pkcs12}"
    else:
        key_label, cert_label = "signing key (SIGN_KEY)", "signing certificate (SIGN_CERT)"
        key_pub = public_key_of_key(key_label, args.key, check_file(key_label, args.key), args.password_file)
        cert_pub = public_key_of_cert(cert_label, args.cert, check_file(cert_label, args.cert))
        where = f"signing key (SIGN_KEY) {args.key}"
    if key_pub != cert_pub:
        cert = args.pkcs12 or args.cert
        raise SignError(f"{where}: the key does not belong to the certificate in {cert}")


def signing_time():
    value = os.environ.get("SOURCE_DATE_EPOCH")
    if value is None:
        return []
    if not value.isdigit():
        raise SignError(f"SOURCE_DATE_EPOCH {value!r} is not a number of seconds")
    return ["-time", value]


def sign(args, source, signed):
    argv = [OSSLSIGNCODE, "sign", "-h", "sha256"]
    if args.pkcs12:
        argv += ["-pkcs12", args.pkcs12]
    else:
        argv += ["-certs", args.cert, "-key", args.key]
    if args.password_file:
        argv += ["-readpass", args.password_file]
    if args.timestamp_url:
        argv += ["-ts", args.timestamp_url]
    argv += signing_time() + ["-in", source, "-out", signed]
    # osslsigncode refuses to write over an existing file.
    if os.path.exists(signed):
        os.remove(signed)
    try:
        p = subprocess.run(argv, capture_output=True, text=True)
    except FileNotFoundError:
        raise SignError(f"{OSSLSIGNCODE} is not installed")
    if p.returncode != 0:
        if os.path.exists(signed):
            os.remove(signed)
        detail = (p.stdout + p.stderr).strip().replace("\n", "\n    ")
        what = f" or time-stamping through {args.timestamp_url}" if args.timestamp_url else ""
        raise SignError(f"signing{what} {source} failed:\n    {detail}")


def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--pkcs12")
    p.add_argument("--key")
    p.add_argument("--cert")
    p.add_argument("--password-file")
    p.add_argument("--timestamp-url")
    p.add_argument("--check", metavar="STAMP")
    p.add_argument("--in", dest="source")
    p.add_argument("--out")
    p.add_argument("--in-place")
    p.add_argument("--keep-unsigned")
    args = p.parse_args(argv)
    if bool(args.pkcs12) == bool(args.key or args.cert) or (args.key is None) != (args.cert is None):
        p.error("give either --pkcs12 or both --key and --cert")
    modes = [bool(args.check), bool(args.source and args.out), bool(args.in_place and args.keep_unsigned)]
    if modes.count(True) != 1:
        p.error("give one of --check STAMP, --in FILE --out FILE, --in-place FILE --keep-unsigned FILE")
    return args


def main(argv):
    args = parse_args(argv)
    try:
        if args.check:
            check_keys(args)
            with open(args.check, "w") as f:
                f.write("key files checked\n")
        elif args.source:
            check_file("package", args.source)
            tmp = args.out + ".signing"
            sign(args, args.source, tmp)
            shutil.copymode(args.source, tmp)
            os.replace(tmp, args.out)
        else:
            try:
                os.makedirs(os.path.dirname(os.path.abspath(args.keep_unsigned)), exist_ok=True)
                shutil.copy(args.in_place, args.keep_unsigned)
                tmp = args.in_place + ".signing"
                sign(args, args.keep_unsigned, tmp)
                shutil.copymode(args.in_place, tmp)
                os.replace(tmp, args.in_place)
            except (SignError, OSError):
                # The linker's output is unsigned: it must not stay behind
                # under the name the release takes.
                if os.path.exists(args.in_place):
                    os.remove(args.in_place)
                raise
    except (SignError, OSError) as e:
        print(f"sign-authenticode: error: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
