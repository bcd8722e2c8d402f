"""scripts/release: a reproducible, signed artefact and its checksums.

The release is built from HEAD in a folder of its own, so comparing it with
the artefact this test run built from the working tree shows that two builds
in different folders, at different times, give the same bytes. That holds
only while the working tree's build inputs match HEAD; otherwise the
comparison is skipped with a notice.
"""

import hashlib
import os
import shutil
import subprocess
import tempfile
import unittest

from harness import wine
from harness.certificates import make_code_signing, make_pkcs12, make_server_only

SOURCE = os.environ.get("REPAIR_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
ARTEFACT = os.environ["REPAIR_ARTEFACT"]
PUBLISHER = "Vandrel Release Test Publisher"
PASSWORD = "release test 口令"
NAME = "修复工具.exe"
DOS_STUB_BYTE = 0x60


def run(args, env=None):
    completed = subprocess.run(args, cwd=SOURCE, env={**os.environ, **(env or {})}, stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, check=False)
    return completed.returncode, completed.stdout.decode("utf-8", "replace")


def authenticode_digest(path):
    status, output = run([os.path.join(SOURCE, "scripts", "authenticode-digest"), path])
    assert status == 0, output
    return output.split()[0]


def sources_match_head():
    status, output = run(["git", "status", "--porcelain", "--", "src", "cmake", "CMakeLists.txt",
                          "CMakePresets.json"])
    return status == 0 and output.strip() == ""


class ReleaseTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.directory = tempfile.mkdtemp(prefix="repair-release-")
        pairs, ca = make_code_signing(cls.directory, PUBLISHER)
        cls.ca = ca
        cls.good = make_pkcs12(cls.directory, "publisher", *pairs["publisher"], PASSWORD)
        cls.server_only = make_pkcs12(cls.directory, "server", *make_server_only(cls.directory, "server"), PASSWORD)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.directory, ignore_errors=True)

    def setUp(self):
        self.out = tempfile.mkdtemp(prefix="dist-", dir=self.directory)

    def release(self, *args, password=PASSWORD):
        env = {"REPAIR_SIGN_PASSWORD": password} if password is not None else {}
        return run([os.path.join(SOURCE, "scripts", "release"), "--out", self.out, *args], env=env)

    def published(self):
        return os.path.join(self.out, NAME)

    def assert_checksums_match(self):
        with open(os.path.join(self.out, "SHA256SUMS"), encoding="utf-8") as f:
            line = f.read()
        with open(self.published(), "rb") as f:
            self.assertEqual(line, f"{hashlib.sha256(f.read()).hexdigest()}  {NAME}\n")

    def assert_rebuilt_the_same_bytes(self):
        if not sources_match_head():
            print("notice: the working tree differs from HEAD; the byte comparison is skipped")
            return
        rebuilt = os.path.join(SOURCE, "build", "release", "source", "build", "windows-x86", NAME)
        with open(rebuilt, "rb") as a, open(ARTEFACT, "rb") as b:
            self.assertTrue(a.read() == b.read(), "a second build in another folder gave other bytes")

    def test_a_signed_release_is_trusted_carries_the_rebuilt_digest_and_refuses_a_changed_byte(self):
        status, output = self.release("--pkcs12", self.good)
        self.assertEqual(status, 0, output)
        self.assertIn(f"signed by {PUBLISHER}", output)
        self.assert_checksums_match()
        self.assert_rebuilt_the_same_bytes()

        _, verified = run(["osslsigncode", "verify", "-in", self.published(), "-CAfile", self.ca])
        carried = [line.split(":", 1)[1].strip() for line in verified.splitlines()
                   if line.startswith("Current message digest")]
        self.assertEqual(carried, [authenticode_digest(self.published())], verified)
        if sources_match_head():
            self.assertEqual(carried, [authenticode_digest(ARTEFACT)], "the signature carries the rebuilt digest")

        changed = os.path.join(self.out, "changed.exe")
        with open(self.published(), "rb") as f:
            data = bytearray(f.read())
        data[DOS_STUB_BYTE] ^= 0x01
        with open(changed, "wb") as f:
            f.write(data)
        wine.run([os.path.join(wine.BIN_DIR, "trust_ca.exe"), wine.to_windows(self.ca)])
        verify = os.path.join(wine.BIN_DIR, "verify_signature.exe")
        status, log = wine.run([verify, wine.to_windows(self.published()), PUBLISHER])
        self.assertEqual(status, 0, "WinVerifyTrust accepts it and names the publisher: " + log)
        status, log = wine.run([verify, wine.to_windows(changed), PUBLISHER])
        self.assertEqual(status, 1, "one changed byte is refused: " + log)
        print(f"signed artefact {os.path.getsize(self.published())} bytes, digest {carried[0]}")

    def test_without_a_certificate_the_release_says_it_is_unsigned(self):
        status, output = self.release(password=None)
        self.assertEqual(status, 0, output)
        self.assertIn("UNSIGNED", output)
        self.assert_checksums_match()
        self.assert_rebuilt_the_same_bytes()

    def test_a_wrong_password_or_a_certificate_not_for_code_signing_stops_it_with_nothing_finished(self):
        for name, args, password, message in (
                ("wrong password", ("--pkcs12", self.good), "not the password", "wrong password"),
                ("server certificate", ("--pkcs12", self.server_only), PASSWORD, "not for code signing")):
            with self.subTest(name):
                with open(self.published(), "wb") as f:
                    f.write(b"an earlier release")
                status, output = self.release(*args, password=password)
                self.assertNotEqual(status, 0, output)
                self.assertIn(message, output)
                self.assertEqual(os.listdir(self.out), [], "nothing in the output folder looks finished")
                self.assertNotIn(password, output, "the password is never printed")


if __name__ == "__main__":
    unittest.main(verbosity=2)
