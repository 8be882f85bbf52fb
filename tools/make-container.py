#!/usr/bin/env python3
"""Writes the payload container of a launcher as Windows resources.

Produces, in the output directory:
  container.rc      RCDATA "MANIFEST", "HDR_00".., "BIN_00".. and "CERTS"
                    (language 1033), and the splash picture as resource 102
                    of type PNG
  manifest.bin      the 16-byte manifest: "QuorInstV1" NUL-padded to 15 bytes
                    and the package count
  hdr_NN.bin        one 256-byte header per package: architecture (u32 LE),
                    resource name (28 bytes) and file name (224 bytes), both
                    NUL-terminated and NUL-padded
  certs.bin         the carried certificate table, resource "CERTS": the
                    8 bytes "QuorCrV1", the count (u32 LE), then per
                    certificate its length (u32 LE) and its DER bytes

Usage:
  make-container.py --output-dir DIR [--splash PNG] [--certificate DER]...
                    [--signer PEM] --package ARCH FILE [--name FILENAME]
                    [--origin VENDOR-FILE] ...
ARCH is 1 (all hosts), 2 (x86), 3 (x86-64) or 4 (ARM64). FILENAME defaults
to FILE's own name. Every input is checked; a bad one stops the build with a
message naming it (VENDOR-FILE for a FILE made from it, such as a signed
copy). A package must fit its architecture: 1 is a cabinet shared by all
hosts, 2, 3 and 4 are Windows Installer packages whose Template platform is
Intel, x64 or Arm64 (msiinfo reads it), and a file name ends in .cab or
.msi as its kind, which is how the launcher tells them apart. A carried
certificate must name code signing among its extended key usages (openssl
reads them); one that is neither the launcher's signer (PEM, the signing
certificate first, as sign-authenticode.py --check writes it) nor the
signer of a signed package gets a warning.
"""
import argparse
import base64
import hashlib
import os
import re
import shutil
import subprocess
import sys

ARCH_NAMES = {1: "all", 2: "x86", 3: "x86-64", 4: "ARM64"}
# The summary information's Template platforms (before the ";"), compared
# without case as the Windows Installer does; an empty one means Intel.
TEMPLATE_ARCH = {"": 2, "intel": 2, "x64": 3, "amd64": 3, "arm64": 4}
CFB_SIGNATURE = b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1"  # compound file: a Windows Installer database
CAB_SIGNATURE = b"MSCF"
CODE_SIGNING = "Code Signing"  # openssl's name of 1.3.6.1.5.5.7.3.3
MAX_PACKAGES = 255          # the manifest's count is one byte
RESOURCE_NAME_FIELD = 28    # bytes, terminator included
FILE_NAME_FIELD = 224       # bytes, terminator included
MAGIC = b"QuorInstV1"
# The carried certificate table's first bytes (no terminator).
CERTS_MAGIC = b"QuorCrV1"


class ContainerError(Exception):
    pass


def parse_args(argv):
    """Splits the command line; --name applies to the --package before it."""
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--output-dir", required=True)
    p.add_argument("--splash")
    p.add_argument("--certificate", action="append", default=[])
    p.add_argument("--signer")
    p.add_argument("--allow-empty-packages", action="store_true",
                   help="test builds only: accept 0-byte packages")
    p.add_argument("--allow-misfits", action="store_true",
                   help="test builds only: packages and certificates of any kind, architecture and key usage")
    packages = []
    rest = []
    i = 0
    while i < len(argv):
        if argv[i] == "--package":
            if i + 2 >= len(argv):
                raise ContainerError("--package needs an architecture and a file")
            packages.append({"arch": argv[i + 1], "path": argv[i + 2], "name": None, "origin": None})
            i += 3
        elif argv[i] in ("--name", "--origin"):
            if not packages or i + 1 >= len(argv):
                raise ContainerError(f"{argv[i]} must follow a --package and give a file")
            packages[-1][argv[i][2:]] = argv[i + 1]
            i += 2
        else:
            rest.append(argv[i])
            i += 1
    args = p.parse_args(rest)
    args.packages = packages
    return args


def field(text, size, what):
    """Encodes text NUL-terminated and NUL-padded into a fixed field."""
    raw = text.encode("utf-8")
    if b"\0" in raw:
        raise ContainerError(f"{what} {text!r} contains a NUL character")
    if len(raw) + 1 > size:
        raise ContainerError(
            f"{what} {text!r} is {len(raw)} bytes; it must fit {size} bytes with its terminator "
            f"(at most {size - 1})")
    return raw + b"\0" * (size - len(raw))


def check_file(label, path):
    """Refuses a path that names no readable regular file."""
    if not os.path.exists(path):
        raise ContainerError(f"{label}: no such file")
    if not os.path.isfile(path):
        raise ContainerError(f"{label}: not a regular file")
    if not os.access(path, os.R_OK):
        raise ContainerError(f"{label}: not readable")


def read_file(label, path):
    check_file(label, path)
    with open(path, "rb") as f:
        return f.read()


def der_length(data):
    """The total size of the DER element at the start of data (tag, length
    and contents), or None when its length field is not a definite one that
    fits data."""
    if len(data) < 2:
        return None
    first = data[1]
    if first < 0x80:
        return 2 + first
    count = first & 0x7F
    # 0x80 is the indefinite form, which DER does not allow.
    if count == 0 or count > 4 or len(data) < 2 + count:
        return None
    return 2 + count + int.from_bytes(data[2:2 + count], "big")


def check_certificate(path):
    """A carried certificate must be one DER-encoded SEQUENCE filling the
    whole file: the certificate store calls take exactly those bytes."""
    label = f"certificate {path}"
    der = read_file(label, path)
    pem = re.match(rb"\s*-----BEGIN ([A-Z0-9 ]+)-----", der)
    if pem and pem.group(1) in (b"CERTIFICATE", b"TRUSTED CERTIFICATE", b"X509 CERTIFICATE"):
        base, ext = os.path.splitext(path)
        out = base + (".cer" if ext.lower() == ".der" else ".der")
        raise ContainerError(
            f"{label}: a PEM (text) certificate, but the launcher carries DER-encoded ones; "
            f"convert it with: openssl x509 -in {path} -outform der -out {out}")
    if pem:
        raise ContainerError(f"{label}: a PEM file holding a {pem.group(1).decode().lower()}, not a certificate")
    if len(der) < 2 or der[0] != 0x30 or der_length(der) != len(der):
        raise ContainerError(f"{label}: not a DER-encoded certificate (one ASN.1 SEQUENCE filling the file)")
    return der


def certificate_fields(label, der_path, form="DER"):
    """The subject ("CN=..., O=...") and the extended key usages (openssl's
    names; None when the certificate has no such extension)."""
    out = tool_output(["openssl", "x509", "-inform", form, "-in", der_path, "-noout", "-subject", "-nameopt",
                       "utf8,sep_comma_plus_space", "-ext", "extendedKeyUsage"], label)
    subject = re.search(r"^subject=\s*(.*)$", out, re.M)
    usage = re.search(r"Extended Key Usage:.*\n\s*(.+)", out)
    return subject.group(1).strip() if subject else "", usage.group(1).strip() if usage else None


def check_code_signing(path):
    """The carried certificate goes into the TrustedPublisher store, which
    trusts code signed with it: it must be a code-signing certificate.
    Returns its subject."""
    label = f"certificate {path}"
    subject, usage = certificate_fields(label, path)
    if usage is None:
        raise ContainerError(f"{label} ({subject}): no extended key usage; the launcher adds it to the "
                             f"TrustedPublisher store, which takes code-signing certificates (Code Signing, "
                             f"1.3.6.1.5.5.7.3.3)")
    if CODE_SIGNING not in [u.strip() for u in usage.split(",")]:
        raise ContainerError(f"{label} ({subject}): its extended key usage is {usage}, not code signing; the "
                             f"launcher adds it to the TrustedPublisher store, which takes code-signing "
                             f"certificates (Code Signing, 1.3.6.1.5.5.7.3.3)")
    return subject


def launcher_signer(path):
    """The launcher's signing certificate: (DER bytes, subject), from the
    first certificate of a PEM file."""
    label = f"signer's certificates {path}"
    with open(path, "rb") as f:
        m = re.search(rb"-----BEGIN CERTIFICATE-----(.+?)-----END CERTIFICATE-----", f.read(), re.S)
    if not m:
        raise ContainerError(f"{label}: holds no certificate")
    subject, _ = certificate_fields(label, path, "PEM")
    return base64.b64decode(m.group(1)), subject


def package_signer(path, der):
    """Whether the Windows Installer package at path is signed with the
    certificate der: None when it is not signed (or osslsigncode is not
    there to tell), else (signed with it, the signer's subject)."""
    if not shutil.which("osslsigncode"):
        return None
    p = subprocess.run(["osslsigncode", "verify", "-ignore-timestamp", "-ignore-cdp", "-require-leaf-hash",
                        "sha256:" + hashlib.sha256(der).hexdigest(), "-in", path], capture_output=True, text=True)
    signer = re.search(r"Signer #0:\s*\n\s*Subject: (.*)", p.stdout)
    if not signer:
        return None
    # osslsigncode writes "/CN=a/O=b"; openssl "CN=a, O=b".
    subject = ", ".join(re.split(r"/(?=[A-Za-z0-9.]+=)", signer.group(1).strip())[1:])
    return "Leaf hash match: ok" in p.stdout, subject


def warn_foreign_certificates(certs, signer, packages):
    """A carried certificate that signed neither the launcher nor any
    signed package puts a publisher into TrustedPublisher that this release
    does not come from: legal, but most often the wrong file."""
    launcher = launcher_signer(signer) if signer else None
    msis = [pkg["path"] for pkg in packages if pkg["name"].lower().endswith(".msi")]
    for path, der, subject in certs:
        if launcher and der == launcher[0]:
            continue
        signers = [launcher[1]] if launcher else []
        for verdict in (package_signer(msi, der) for msi in msis):
            if verdict is None:
                continue
            if verdict[0]:
                break
            if verdict[1] not in signers:
                signers.append(verdict[1])
        else:
            if signers:
                print(f"make-container: warning: certificate {path} ({subject}) is neither the launcher's signer "
                      f"nor the signer of the signed packages ({' and '.join(signers)}): "
                      f"silent installations add to the TrustedPublisher store a publisher that did not sign "
                      f"this release", file=sys.stderr)


PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
# Pictures a splash is most often mistaken for, by their first bytes.
OTHER_PICTURES = [(b"\xff\xd8\xff", "JPEG"), (b"GIF8", "GIF"), (b"BM", "BMP"), (b"II*\0", "TIFF"),
                  (b"MM\0*", "TIFF"), (b"RIFF", "WebP")]


def check_splash(path):
    label = f"splash picture {path}"
    data = read_file(label, path)
    if data[:8] != PNG_SIGNATURE:
        kind = next((name for magic, name in OTHER_PICTURES if data.startswith(magic)), None)
        raise ContainerError(f"{label}: not a PNG file" + (f" (it is a {kind} picture; convert it to PNG)"
                                                           if kind else ""))


def tool_output(argv, label):
    """A tool's standard output, or a ContainerError naming the input."""
    if not shutil.which(argv[0]):
        raise ContainerError(f"{label}: {argv[0]} is needed to check it and is not installed")
    p = subprocess.run(argv, capture_output=True, text=True)
    if p.returncode != 0:
        err = p.stderr.strip().splitlines()
        raise ContainerError(f"{label}: {argv[0]} cannot read it ({err[0] if err else f'exit code {p.returncode}'})")
    return p.stdout


def template_platform(label, path):
    """The platform of a Windows Installer package's Template ("x64;1033"
    gives "x64")."""
    out = tool_output(["msiinfo", "suminfo", path], label)
    m = re.search(r"^Template: (.*)$", out, re.M)
    return (m.group(1) if m else "").split(";")[0].strip()


def arch_text(arch):
    return f"{arch} ({ARCH_NAMES[arch]})"


def check_kind(label, pkg, data_start):
    """A package must be what its architecture and its file name say: the
    launcher installs only .msi files and leaves .cab files for them, and a
    misfit fails every installation on the hosts it is extracted on."""
    arch, name = pkg["arch"], pkg["name"]
    if data_start.startswith(CAB_SIGNATURE):
        if arch != 1:
            raise ContainerError(f"{label}: a cabinet given as architecture {arch_text(arch)}; the cabinet is "
                                 f"shared by the packages of every host: give it as 1 (all)")
        suffix = ".cab"
    elif data_start.startswith(CFB_SIGNATURE):
        platform = template_platform(label, pkg["path"])
        fits = TEMPLATE_ARCH.get(platform.lower())
        shown = f"Template platform {platform!r}" if platform else "an empty Template platform (Intel)"
        if fits is None:
            raise ContainerError(f"{label}: a Windows Installer package for {shown}, which no architecture of "
                                 f"the launcher fits (Intel: 2, x64: 3, Arm64: 4)")
        if arch == 1:
            raise ContainerError(f"{label}: a Windows Installer package given as architecture {arch_text(1)}, "
                                 f"which is for the cabinet shared by every host; {shown} makes it "
                                 f"{arch_text(fits)}")
        if arch != fits:
            raise ContainerError(f"{label}: a Windows Installer package for {shown} given as architecture "
                                 f"{arch_text(arch)}; give it as {arch_text(fits)}")
        suffix = ".msi"
    else:
        raise ContainerError(f"{label}: neither a Windows Installer package nor a cabinet")
    if not name.lower().endswith(suffix):
        raise ContainerError(f"{label}: file name {name!r} must end in {suffix}, as the launcher tells the kind "
                             f"of a package by its name")


def check_packages(packages, allow_empty, allow_misfits):
    if len(packages) > MAX_PACKAGES:
        raise ContainerError(f"{len(packages)} packages given; a container holds at most {MAX_PACKAGES}")
    for index, pkg in enumerate(packages):
        label = f"package #{index} ({pkg['origin'] or pkg['path']})"
        try:
            arch = int(pkg["arch"], 0)
        except ValueError:
            arch = None
        if arch not in ARCH_NAMES:
            raise ContainerError(
                f"{label}: architecture {pkg['arch']!r} is not one of "
                + ", ".join(f"{k} ({v})" for k, v in ARCH_NAMES.items()))
        pkg["arch"] = arch
        check_file(label, pkg["path"])
        if os.path.getsize(pkg["path"]) == 0 and not allow_empty:
            raise ContainerError(f"{label}: the package is empty")
        name = pkg["name"] or os.path.basename(pkg["path"])
        if not name or any(c in name for c in "\\/:"):
            raise ContainerError(f"{label}: file name {name!r} must be a plain file name")
        pkg["name"] = name
        with open(pkg["path"], "rb") as f:
            start = f.read(len(CFB_SIGNATURE))
        if not allow_misfits and start:
            check_kind(label, pkg, start)
        pkg["resource"] = f"BIN_{index:02d}"
        pkg["header"] = (arch.to_bytes(4, "little")
                         + field(pkg["resource"], RESOURCE_NAME_FIELD, f"{label}: resource name")
                         + field(name, FILE_NAME_FIELD, f"{label}: file name"))


def rc_path(path):
    """A path as a windres string literal."""
    return '"' + os.path.abspath(path).replace("\\", "/").replace('"', '\\"') + '"'


def write_if_changed(path, data):
    if isinstance(data, str):
        data = data.encode("utf-8")
    try:
        with open(path, "rb") as f:
            if f.read() == data:
                return
    except OSError:
        pass
    with open(path, "wb") as f:
        f.write(data)


def certificate_table(certs):
    """The launcher's certificate table (installer/certificate.h)."""
    return (CERTS_MAGIC + len(certs).to_bytes(4, "little")
            + b"".join(len(der).to_bytes(4, "little") + der for der in certs))


def main(argv):
    try:
        args = parse_args(argv)
        check_packages(args.packages, args.allow_empty_packages, args.allow_misfits)
        certs = [(path, check_certificate(path)) for path in args.certificate]
        if args.splash:
            check_splash(args.splash)
        if not args.allow_misfits:
            warn_foreign_certificates([(path, der, check_code_signing(path)) for path, der in certs], args.signer,
                                      args.packages)
    except (ContainerError, OSError) as e:
        print(f"make-container: error: {e}", file=sys.stderr)
        return 1

    out = args.output_dir
    os.makedirs(out, exist_ok=True)
    manifest = MAGIC + b"\0" * (15 - len(MAGIC)) + bytes([len(args.packages)])
    write_if_changed(os.path.join(out, "manifest.bin"), manifest)
    # windres takes the bare word MANIFEST as a keyword, so that name is
    # quoted; it comes first because the resource compiler joins adjacent
    # string literals (a quoted name after a quoted file name would merge
    # with it). Names are upper case, as the platform's lookup expects.
    rc = ["/* Generated by tools/make-container.py: the payload container. */",
          "LANGUAGE 0x09, 0x01 /* English (United States), 1033 */",
          f"\"MANIFEST\" RCDATA {rc_path(os.path.join(out, 'manifest.bin'))}"]
    for index, pkg in enumerate(args.packages):
        hdr = os.path.join(out, f"hdr_{index:02d}.bin")
        write_if_changed(hdr, pkg["header"])
        rc.append(f"HDR_{index:02d} RCDATA {rc_path(hdr)}")
        rc.append(f"{pkg['resource']} RCDATA {rc_path(pkg['path'])}")
    certs_bin = os.path.join(out, "certs.bin")
    write_if_changed(certs_bin, certificate_table([der for _, der in certs]))
    rc.append(f"CERTS RCDATA {rc_path(certs_bin)}")
    if args.splash:
        rc.append(f"102 PNG {rc_path(args.splash)}")
    write_if_changed(os.path.join(out, "container.rc"), "\n".join(rc) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
