#!/usr/bin/env python3
"""Authenticode signing of a launcher or a Windows Installer package with
osslsigncode or a command of the signer's, after checking the key files
with openssl; every signed file is verified before it takes its name.

Usage:
  sign-authenticode.py KEY [OPTIONS] --check SIGNER
      check the key files (and the command template); on success write the
      signer's certificates to SIGNER (PEM, the signing certificate first)
  sign-authenticode.py KEY [OPTIONS] --options-stamp STAMP
      write the signing options and SOURCE_DATE_EPOCH to STAMP, unless it
      already holds them: its time changes exactly when a signature would
  sign-authenticode.py KEY [OPTIONS] [--signer SIGNER] --in FILE --out SIGNED
      sign a copy of FILE into SIGNED
  sign-authenticode.py KEY [OPTIONS] [--signer SIGNER] --in-place FILE --keep-unsigned COPY
      keep FILE's bytes in COPY and replace FILE by its signed form; on any
      failure FILE is deleted, so no unsigned file is left under the name
      that is shipped
  SIGNER is what --check wrote; without it the key files are checked
  again.
KEY is --pkcs12 FILE [--password-file FILE], or --key PEM --cert CERT
[--password-file FILE] (CERT in PEM or DER, with its chain after it), or
--command TEMPLATE --cert CERT: the command signs with the key of CERT (in
a hardware module or a signing service). OPTIONS are --description TEXT
and --url URL (the program name and link of the signature, shown by the
elevation prompt and the file's properties) and --timestamp-url URL (an RFC
3161 time-stamp server).

TEMPLATE is one command line, split by shell rules (it is not run by a
shell), whose arguments may hold the placeholders {in} (the file to sign),
{out} (where the signed file goes), {description}, {url} and
{timestamp_url}. Without {out} the command signs {in} in place, and {in} is
a scratch copy. A placeholder needs its option, and SIGN_URL and
TIMESTAMP_URL need their placeholder.

The signature's hash is SHA-256. Its signing time is SOURCE_DATE_EPOCH when
that is set, which makes signing reproducible (the RSA and ECDSA signatures
osslsigncode makes depend only on key and data); a time-stamp authority's
counter-signature carries the real time. A signed file must verify with
osslsigncode, its signer being the signing certificate and its chain ending
at that certificate's own chain or a root of the system's store (the
time-stamp is the authority's and is not checked here). Every failure stops
with a message naming the file.
"""
import argparse
import hashlib
import json
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

OSSLSIGNCODE = "osslsigncode"
OPENSSL = "openssl"
# The system's trusted roots, for a signing certificate issued by a public
# authority whose root its own chain leaves out.
SYSTEM_ROOTS = ["/etc/ssl/certs/ca-certificates.crt", "/etc/pki/tls/certs/ca-bundle.crt"]
PLACEHOLDERS = ("in", "out", "description", "url", "timestamp_url")


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


def check_password_file(path):
    # openssl and osslsigncode take the first line of the file; with no
    # line at all they only say "Error reading password from BIO". (An
    # empty first line is an empty password, which a key may have.)
    label = "password file (SIGN_PASSWORD_FILE)"
    if not check_file(label, path):
        raise SignError(f"{label} {path}: the file is empty; write the key's password into it")


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
    PKCS#12 file, and its certificates (PEM, the signing one first). Files exported by older systems use ciphers that OpenSSL 3
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
        rc, chain, err = run(common + ["-cacerts", "-nokeys"])
        return key_pub, cert_pub, pem_certificates(cert) + (pem_certificates(chain) if rc == 0 else [])
    if password_file:
        raise SignError(f"{label} {path}: cannot be opened with the password in {password_file} "
                        f"(wrong password, or not a PKCS#12 file: {err})")
    raise SignError(f"{label} {path}: cannot be opened without a password (give SIGN_PASSWORD_FILE, "
                    f"or it is not a PKCS#12 file: {err})")


def pem_certificates(data):
    """The PEM certificate blocks in data, in order."""
    return [m.group(0) + b"\n" for m in re.finditer(rb"-----BEGIN CERTIFICATE-----.+?-----END CERTIFICATE-----",
                                                    data, re.S)]


def certificates_of(label, path, data):
    """The certificates of a PEM (chain after it) or DER certificate file."""
    if pem_label(data):
        return pem_certificates(data)
    rc, out, err = run([OPENSSL, "x509", "-inform", "DER", "-in", path, "-outform", "PEM"])
    if rc != 0:
        raise SignError(f"{label} {path}: not a certificate openssl can read ({err})")
    return [out]


def template_arguments(args):
    """The signing command's arguments with their placeholders (checked:
    each one known and given, each option used)."""
    label = "signing command (SIGN_COMMAND)"
    try:
        argv = shlex.split(args.command)
    except ValueError as e:
        raise SignError(f"{label} {args.command!r}: {e}")
    used = set()
    for arg in argv:
        for name in re.findall(r"\{(\w*)\}", arg):
            if name not in PLACEHOLDERS:
                raise SignError(f"{label} {args.command!r}: unknown placeholder {{{name}}}; the placeholders are "
                                + ", ".join(f"{{{n}}}" for n in PLACEHOLDERS))
            used.add(name)
    if not argv or "in" not in used:
        raise SignError(f"{label} {args.command!r}: names no file to sign ({{in}})")
    # The description has a default, which a command may leave out; a link
    # or a time-stamp server given is never left out unnoticed.
    for name, option, needed in (("url", "SIGN_URL", True), ("timestamp_url", "TIMESTAMP_URL", True),
                                 ("description", "SIGN_DESCRIPTION", False)):
        given = getattr(args, name) is not None
        if name in used and not given:
            raise SignError(f"{label} {args.command!r}: uses {{{name}}}, but no {option} is given")
        if needed and given and name not in used:
            raise SignError(f"{label} {args.command!r}: {option} is given, but the command takes no {{{name}}}")
    return argv, used


def check_keys(args):
    """Checks the key files; returns the signer's certificates (PEM, the
    signing certificate first)."""
    if args.password_file:
        check_password_file(args.password_file)
    if args.command:
        template_arguments(args)
        cert_label = "signing certificate (SIGN_CERT)"
        cert_data = check_file(cert_label, args.cert)
        public_key_of_cert(cert_label, args.cert, cert_data)
        return certificates_of(cert_label, args.cert, cert_data)
    if args.pkcs12:
        key_pub, cert_pub, certs = pkcs12_parts(args.pkcs12, args.password_file)
        where = f"PKCS#12 file (SIGN_PKCS12) {args.pkcs12}"
    else:
        key_label, cert_label = "signing key (SIGN_KEY)", "signing certificate (SIGN_CERT)"
        key_pub = public_key_of_key(key_label, args.key, check_file(key_label, args.key), args.password_file)
        cert_data = check_file(cert_label, args.cert)
        cert_pub = public_key_of_cert(cert_label, args.cert, cert_data)
        certs = certificates_of(cert_label, args.cert, cert_data)
        where = f"signing key (SIGN_KEY) {args.key}"
    if key_pub != cert_pub:
        cert = args.pkcs12 or args.cert
        raise SignError(f"{where}: the key does not belong to the certificate in {cert}")
    return certs


def signing_time():
    value = os.environ.get("SOURCE_DATE_EPOCH")
    if value is None:
        return []
    if not value.isdigit():
        raise SignError(f"SOURCE_DATE_EPOCH {value!r} is not a number of seconds")
    return ["-time", value]


def details(p):
    return (p.stdout + p.stderr).strip().replace("\n", "\n    ")


def run_signer(argv, what):
    try:
        return subprocess.run(argv, capture_output=True, text=True)
    except OSError as e:
        raise SignError(f"{what}: {argv[0]} cannot be run ({e.strerror})")


def sign_builtin(args, source, signed):
    argv = [OSSLSIGNCODE, "sign", "-h", "sha256"]
    if args.pkcs12:
        argv += ["-pkcs12", args.pkcs12]
    else:
        argv += ["-certs", args.cert, "-key", args.key]
    if args.password_file:
        argv += ["-readpass", args.password_file]
    if args.description is not None:
        argv += ["-n", args.description]
    if args.url is not None:
        argv += ["-i", args.url]
    if args.timestamp_url:
        argv += ["-ts", args.timestamp_url]
    argv += signing_time() + ["-in", source, "-out", signed]
    p = run_signer(argv, f"signing {source}")
    if p.returncode != 0:
        what = f" or time-stamping through {args.timestamp_url}" if args.timestamp_url else ""
        raise SignError(f"signing{what} {source} failed:\n    {details(p)}")


def sign_command(args, source, signed):
    """Runs the signer's command on source; the signed file ends up in
    signed. The command's own output is passed on when it fails."""
    template, used = template_arguments(args)
    values = {"description": args.description, "url": args.url, "timestamp_url": args.timestamp_url}
    if "out" in used:
        values.update({"in": source, "out": signed})
    else:
        shutil.copy(source, signed)
        values["in"] = signed
    argv = [re.sub(r"\{(\w+)\}", lambda m: values[m.group(1)], a) for a in template]
    p = run_signer(argv, f"signing {source} with SIGN_COMMAND")
    if p.returncode != 0:
        raise SignError(f"signing {source} with SIGN_COMMAND failed (exit code {p.returncode}):\n    "
                        f"{' '.join(shlex.quote(a) for a in argv)}\n    {details(p)}")
    if not os.path.isfile(signed):
        raise SignError(f"signing {source} with SIGN_COMMAND wrote no signed file {signed}")


def verify_signed(certs, source, signed):
    """Refuses a signed file whose signature does not verify or was not
    made with the signing certificate, the first of certs (PEM)."""
    rc, leaf, err = run([OPENSSL, "x509", "-outform", "DER"], stdin=certs[0] if certs else b"")
    if rc != 0:
        raise SignError(f"the signing certificate cannot be read ({err})")
    with tempfile.NamedTemporaryFile("wb", suffix=".pem") as anchors:
        anchors.write(b"".join(certs))
        for roots in SYSTEM_ROOTS:
            if os.path.isfile(roots):
                with open(roots, "rb") as f:
                    anchors.write(f.read())
                break
        anchors.flush()
        p = run_signer([OSSLSIGNCODE, "verify", "-CAfile", anchors.name, "-ignore-timestamp", "-ignore-cdp",
                        "-require-leaf-hash", "sha256:" + hashlib.sha256(leaf).hexdigest(), "-in", signed],
                       f"verifying {signed}")
    if p.returncode != 0 or "Signature verification: ok" not in p.stdout:
        lines = [line.strip() for line in (p.stdout + p.stderr).splitlines()]
        reasons = [line for line in lines if re.search(r"no signature|mismatch|failed|[Ee]rror", line)]
        if "Leaf hash match: failed" in lines:
            reasons.insert(0, "it is signed with another certificate than the signing certificate")
        raise SignError(f"signing {source} gave no valid signature of the signing certificate:\n    "
                        + "\n    ".join(reasons or lines[-3:]))


def sign(args, certs, source, signed):
    """Signs source into signed, which exists only when its signature
    verified against certs, the signer's certificates."""
    # osslsigncode refuses to write over an existing file.
    if os.path.exists(signed):
        os.remove(signed)
    try:
        (sign_command if args.command else sign_builtin)(args, source, signed)
        verify_signed(certs, source, signed)
        shutil.copymode(source, signed)
    except (SignError, OSError):
        if os.path.exists(signed):
            os.remove(signed)
        raise


def options_record(args):
    """What a signature depends on besides the file: the options given and
    SOURCE_DATE_EPOCH."""
    options = {k: v for k, v in sorted(vars(args).items()) if k in SIGNING_OPTIONS}
    options["SOURCE_DATE_EPOCH"] = os.environ.get("SOURCE_DATE_EPOCH")
    return json.dumps(options, indent=1) + "\n"


def write_if_changed(path, text):
    try:
        with open(path) as f:
            if f.read() == text:
                return
    except OSError:
        pass
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "w") as f:
        f.write(text)


# The options a signature depends on (argparse destinations).
SIGNING_OPTIONS = ("pkcs12", "key", "cert", "password_file", "command", "description", "url", "timestamp_url")


def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    for option in SIGNING_OPTIONS:
        p.add_argument("--" + option.replace("_", "-"))
    p.add_argument("--check", metavar="SIGNER")
    p.add_argument("--options-stamp", metavar="STAMP")
    p.add_argument("--signer")
    p.add_argument("--in", dest="source")
    p.add_argument("--out")
    p.add_argument("--in-place")
    p.add_argument("--keep-unsigned")
    args = p.parse_args(argv)
    if args.command:
        if args.pkcs12 or args.key or args.password_file or not args.cert:
            p.error("--command takes --cert only (the command has the key)")
    elif bool(args.pkcs12) == bool(args.key or args.cert) or (args.key is None) != (args.cert is None):
        p.error("give either --pkcs12, both --key and --cert, or --command and --cert")
    modes = [bool(args.check), bool(args.options_stamp), bool(args.source and args.out),
             bool(args.in_place and args.keep_unsigned)]
    if modes.count(True) != 1:
        p.error("give one of --check SIGNER, --options-stamp STAMP, --in FILE --out FILE, "
                "--in-place FILE --keep-unsigned FILE")
    return args


def signer_certificates(args):
    if not args.signer:
        return check_keys(args)
    with open(args.signer, "rb") as f:
        return pem_certificates(f.read())


def main(argv):
    args = parse_args(argv)
    try:
        if args.check:
            certs = check_keys(args)
            write_if_changed(args.check, b"".join(certs).decode("ascii"))
        elif args.options_stamp:
            write_if_changed(args.options_stamp, options_record(args))
        elif args.source:
            try:
                check_file("package", args.source)
                tmp = args.out + ".signing"
                sign(args, signer_certificates(args), args.source, tmp)
                os.replace(tmp, args.out)
            except (SignError, OSError):
                # An earlier signed copy must not go into the container in
                # place of the one that failed.
                if os.path.exists(args.out):
                    os.remove(args.out)
                raise
        else:
            try:
                os.makedirs(os.path.dirname(os.path.abspath(args.keep_unsigned)), exist_ok=True)
                shutil.copy(args.in_place, args.keep_unsigned)
                tmp = args.in_place + ".signing"
                sign(args, signer_certificates(args), args.keep_unsigned, tmp)
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
