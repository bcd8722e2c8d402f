"""Throwaway certificates for the HTTPS and signature tests, made with
openssl at test time.

trusted CA ─┬─ localhost        (good)
            ├─ otherhost.test   (wrong name)
            └─ localhost, expired in 2020
other CA ───── localhost        (unknown CA)

code-signing CA ─┬─ the publisher the signed test build requires
                 └─ another publisher
"""

import os
import subprocess

CA_CONFIG = """[ ca ]
default_ca = CA_default
[ CA_default ]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = policy_any
[ policy_any ]
commonName = supplied
"""


def _openssl(directory, *args):
    subprocess.run(["openssl", *args], cwd=directory, check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def _make_ca(directory, name):
    _openssl(directory, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{name}.key",
             "-out", f"{name}.pem", "-days", "30", "-subj", f"/CN=Repair test {name}")


def _request(directory, name, host):
    with open(os.path.join(directory, f"{name}.ext"), "w", encoding="ascii") as f:
        f.write(f"subjectAltName=DNS:{host}\n")
    _openssl(directory, "req", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{name}.key", "-out",
             f"{name}.csr", "-subj", f"/CN={host}")


def _sign(directory, name, ca, start=None, end=None):
    """Signs name.csr with ca; start and end (YYYYMMDDHHMMSSZ) for odd validity."""
    if start:
        _openssl(directory, "ca", "-batch", "-config", "ca.cnf", "-cert", f"{ca}.pem", "-keyfile",
                 f"{ca}.key", "-in", f"{name}.csr", "-out", f"{name}.pem", "-startdate", start,
                 "-enddate", end, "-extfile", f"{name}.ext", "-notext")
    else:
        _openssl(directory, "x509", "-req", "-in", f"{name}.csr", "-CA", f"{ca}.pem", "-CAkey",
                 f"{ca}.key", "-CAcreateserial", "-days", "30", "-extfile", f"{name}.ext",
                 "-out", f"{name}.pem")


def make_all(directory):
    """Writes every certificate; returns {case: (cert, key)} and the trusted CA in DER."""
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(directory, "ca.cnf"), "w", encoding="ascii") as f:
        f.write(CA_CONFIG)
    open(os.path.join(directory, "index.txt"), "w").close()
    with open(os.path.join(directory, "serial"), "w", encoding="ascii") as f:
        f.write("01\n")
    _make_ca(directory, "trusted")
    _make_ca(directory, "other")
    for name, host in (("good", "localhost"), ("wrongname", "otherhost.test"),
                       ("expired", "localhost"), ("unknownca", "localhost")):
        _request(directory, name, host)
    _sign(directory, "good", "trusted")
    _sign(directory, "wrongname", "trusted")
    _sign(directory, "expired", "trusted", "20200101000000Z", "20200201000000Z")
    _sign(directory, "unknownca", "other")
    _openssl(directory, "x509", "-in", "trusted.pem", "-outform", "DER", "-out", "trusted.der")
    pairs = {name: (os.path.join(directory, f"{name}.pem"), os.path.join(directory, f"{name}.key"))
             for name in ("good", "wrongname", "expired", "unknownca")}
    return pairs, os.path.join(directory, "trusted.der")


def make_code_signing(directory, publisher):
    """A CA and two code-signing certificates: {"publisher": ..., "other": ...}
    as (certificate chain file, key file), and the CA in DER."""
    os.makedirs(directory, exist_ok=True)
    _make_ca(directory, "signing-ca")
    pairs = {}
    for name, common_name in (("publisher", publisher), ("other", "Somebody Else Ltd")):
        with open(os.path.join(directory, f"{name}.ext"), "w", encoding="ascii") as f:
            f.write("keyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n")
        _openssl(directory, "req", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{name}.key", "-out",
                 f"{name}.csr", "-subj", f"/CN={common_name}")
        _openssl(directory, "x509", "-req", "-in", f"{name}.csr", "-CA", "signing-ca.pem", "-CAkey",
                 "signing-ca.key", "-CAcreateserial", "-days", "30", "-extfile", f"{name}.ext",
                 "-out", f"{name}.pem")
        chain = os.path.join(directory, f"{name}-chain.pem")
        with open(chain, "w", encoding="ascii") as out:
            for part in (f"{name}.pem", "signing-ca.pem"):
                with open(os.path.join(directory, part), encoding="ascii") as f:
                    out.write(f.read())
        pairs[name] = (chain, os.path.join(directory, f"{name}.key"))
    _openssl(directory, "x509", "-in", "signing-ca.pem", "-outform", "DER", "-out", "signing-ca.der")
    return pairs, os.path.join(directory, "signing-ca.der")


def sign(source, target, certificate, key):
    """Authenticode-signs a program with osslsigncode (SHA-256)."""
    subprocess.run(["osslsigncode", "sign", "-certs", certificate, "-key", key, "-h", "sha256",
                    "-in", source, "-out", target], check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_pkcs12(directory, name, certificate, key, password):
    """A PKCS#12 file of a certificate (chain) and its key, as publishers get them."""
    target = os.path.join(directory, f"{name}.p12")
    _openssl(directory, "pkcs12", "-export", "-inkey", key, "-in", certificate, "-out", target,
             "-passout", f"pass:{password}")
    return target


def make_server_only(directory, name):
    """A certificate and key fit for TLS servers only, not for code signing."""
    _openssl(directory, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{name}.key",
             "-out", f"{name}.pem", "-days", "30", "-subj", "/CN=Vandrel Web Server",
             "-addext", "extendedKeyUsage=serverAuth")
    return os.path.join(directory, f"{name}.pem"), os.path.join(directory, f"{name}.key")
