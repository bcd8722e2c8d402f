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

from harness import runtime_build, wine
from harness.bootstrapper import TOOL_X86, Scenario, quote, read_record, set_runtime_on_disk, standin_bytes
from harness.certificates import make_code_signing, make_pkcs12, make_server_only
from harness.http_server import DownloadServer, Payload

SOURCE = os.environ.get("REPAIR_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
ARTEFACT = os.environ["REPAIR_ARTEFACT"]
PUBLISHER = "Vandrel Release Test Publisher"
PASSWORD = "release test 口令"
NAME = "修复工具.exe"
DOS_STUB_BYTE = 0x60


# Pins as a release would take them from Microsoft's release notes; any case.
PIN_X64 = "AB" * 64
PIN_X86 = "0123456789abcdef" * 8

# The released file that is run fetches from a port of its own, so that its
# run needs no turn on the end-to-end port.
LOOPBACK_PORT = 47804
LOOPBACK_BASE = f"http://127.0.0.1:{LOOPBACK_PORT}"
# Where LoopbackReleaseTest releases to, relative to REPAIR_RELEASED_DIR, and
# ReleasedFileTest finds the file.
RELEASED_OUT = "relative-out"

def run(args, env=None, cwd=SOURCE):
    completed = subprocess.run(args, cwd=cwd, env={**os.environ, **(env or {})}, stdin=subprocess.DEVNULL,
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


class ReleaseCase(unittest.TestCase):
    """A folder of throwaway certificates per class and an output folder per test."""

    @classmethod
    def setUpClass(cls):
        cls.directory = tempfile.mkdtemp(prefix="repair-release-")
        pairs, ca = make_code_signing(cls.directory, PUBLISHER)
        cls.ca = ca
        cls.good = make_pkcs12(cls.directory, "publisher", *pairs["publisher"], PASSWORD)
        # The publisher's certificate without the CA that issued it: a chain
        # that leads to no trusted root.
        leaf = os.path.join(cls.directory, "publisher.pem")
        cls.no_root = make_pkcs12(cls.directory, "leaf-only", leaf, pairs["publisher"][1], PASSWORD)
        cls.server_only = make_pkcs12(cls.directory, "server", *make_server_only(cls.directory, "server"), PASSWORD)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.directory, ignore_errors=True)

    def setUp(self):
        self.out = tempfile.mkdtemp(prefix="dist-", dir=self.directory)

    def release(self, *args, password=PASSWORD, out=None, cwd=SOURCE, env=None, trace=False):
        env = {**({"REPAIR_SIGN_PASSWORD": password} if password is not None else {}), **(env or {})}
        return run([*(["bash", "-x"] if trace else []), os.path.join(SOURCE, "scripts", "release"), "--out",
                    out or self.out, *args], env=env, cwd=cwd)

    def spy_on_cmake(self):
        """A cmake first on PATH that records the environment it was given,
        which the compilers inherit, and then runs the real one."""
        spy = os.path.join(self.directory, "spy")
        os.makedirs(spy, exist_ok=True)
        record = os.path.join(self.directory, "cmake-environment.txt")
        with open(os.path.join(spy, "cmake"), "w", encoding="utf-8") as f:
            f.write(f"#!/bin/sh\nenv >>'{record}'\necho \"$@\" >>'{record}'\nexec /usr/bin/cmake \"$@\"\n")
        os.chmod(os.path.join(spy, "cmake"), 0o755)
        return {"PATH": spy + os.pathsep + os.environ["PATH"]}, record

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


class ReleaseTest(ReleaseCase):
    """What the script builds, signs and refuses, checked without running the result."""

    def test_a_signed_release_is_trusted_carries_the_rebuilt_digest_and_refuses_a_changed_byte(self):
        # The throwaway CA is carried only by the PKCS#12 file: asked for by
        # name, and said last. Traced, to show that no trace holds the password.
        spy, record = self.spy_on_cmake()
        # The runtime pins are the table's, as in the test run's own artefact.
        status, output = self.release("--pkcs12", self.good, "--allow-unchecked-tool", "--allow-private-root",
                                      env=spy, trace=True)
        self.assertEqual(status, 0, output)
        self.assertIn(f"signed by {PUBLISHER}", output)
        self.assertIn("+ ", output, "traced")
        self.assertNotIn(PASSWORD, output, "the password never shows in a trace")
        said = [line for line in output.splitlines() if line.startswith("release:")]
        self.assertIn("the repair tool is NOT checked", said[-3])
        self.assertIn("players' Windows will not trust it", said[-2], "said last but one")
        self.assertIn(f"SHA-512 {runtime_build.SHA512_X64} (x64) or {runtime_build.SHA512_X86} (x86), Microsoft's "
                      f"for .NET Desktop Runtime {runtime_build.VERSION}", said[-1], "said last")
        with open(record, encoding="utf-8") as f:
            seen = f.read()
        self.assertIn("--preset windows-x86", seen, "the spy saw the build")
        self.assertNotIn(PASSWORD, seen, "the password never reaches cmake or the compilers")
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

    def test_without_a_tool_publisher_or_with_unclear_runtime_pins_nothing_is_released(self):
        for name, args, env, options in (
                ("no tool publisher", ("--allow-unpinned-runtime",), {"REPAIR_TOOL_PUBLISHER": ""},
                 ("--tool-publisher", "--allow-unchecked-tool")),
                ("pins and unpinned at once", ("--allow-unchecked-tool", "--allow-unpinned-runtime",
                                               "--runtime-sha512-x64", PIN_X64, "--runtime-sha512-x86", PIN_X86),
                 {}, ("--allow-unpinned-runtime",)),
                ("only one pin", ("--allow-unchecked-tool", "--runtime-sha512-x64", PIN_X64), {},
                 ("--runtime-sha512-x86",)),
                ("one pin, unpinned allowed", ("--allow-unchecked-tool", "--allow-unpinned-runtime",
                                               "--runtime-sha512-x86", PIN_X86), {}, ("--runtime-sha512-x64",))):
            with self.subTest(name):
                status, output = self.release(*args, password=None, env=env)
                self.assertNotEqual(status, 0, output)
                for option in options:
                    self.assertIn(option, output)
                self.assertEqual(os.listdir(self.out), [])

    def test_a_wrong_password_or_a_certificate_not_for_code_signing_stops_it_with_nothing_finished(self):
        private = "--allow-private-root"
        for name, args, password, message in (
                ("wrong password", ("--pkcs12", self.good, private), "not the password", "wrong password"),
                ("server certificate", ("--pkcs12", self.server_only, private), PASSWORD, "not for code signing"),
                ("root only in the file", ("--pkcs12", self.good), PASSWORD, private),
                ("no trusted root", ("--pkcs12", self.no_root, private), PASSWORD, "leads to no trusted root")):
            with self.subTest(name):
                with open(self.published(), "wb") as f:
                    f.write(b"an earlier release")
                status, output = self.release(*args, "--allow-unchecked-tool", "--allow-unpinned-runtime",
                                              password=password)
                self.assertNotEqual(status, 0, output)
                self.assertIn(message, output)
                self.assertEqual(os.listdir(self.out), [], "nothing in the output folder looks finished")
                self.assertNotIn(password, output, "the password is never printed")


class LoopbackReleaseTest(ReleaseCase):
    """A release built for a loopback server into REPAIR_RELEASED_DIR, where
    ReleasedFileTest finds it: building takes a minute and needs no prefix,
    running it takes seconds in one."""

    def test_an_unsigned_release_for_a_tool_publisher_lands_where_asked_and_carries_its_settings(self):
        # Without a certificate, from another folder with a relative --out.
        caller = os.environ["REPAIR_RELEASED_DIR"]
        shutil.rmtree(caller, ignore_errors=True)
        os.makedirs(caller)
        status, output = self.release("--tool-publisher", PUBLISHER, "--download-base", LOOPBACK_BASE,
                                      "--runtime-sha512-x64", PIN_X64, "--runtime-sha512-x86", PIN_X86,
                                      password=None, out=RELEASED_OUT, cwd=caller)
        self.assertEqual(status, 0, output)
        self.assertIn("UNSIGNED", output)
        self.assertIn(f"must be signed by '{PUBLISHER}'", output)
        self.assertIn(f"SHA-512 {PIN_X64.lower()} (x64) or {PIN_X86} (x86)", output.strip().splitlines()[-1])
        self.out = os.path.join(caller, RELEASED_OUT)
        self.assertTrue(os.path.isfile(self.published()), output)
        self.assert_checksums_match()
        with open(self.published(), "rb") as f:
            carried = f.read()
        for pin in (PIN_X64, PIN_X86):
            self.assertIn(pin.lower().encode("utf-16-le"), carried, "the build carries each pin")
        self.assertFalse(os.path.exists(os.path.join(SOURCE, RELEASED_OUT)))


class ReleasedFileTest(unittest.TestCase):
    """The file LoopbackReleaseTest released, run on 32-bit Windows (a 32-bit
    prefix, where it fetches the x86 tool): it refuses the unsigned tool its
    server hands it."""

    def test_the_released_file_refuses_an_unsigned_tool(self):
        published = os.path.join(os.environ["REPAIR_RELEASED_DIR"], RELEASED_OUT, NAME)
        self.assertTrue(os.path.isfile(published), "released by release.loopback")
        set_runtime_on_disk(True)
        scenario = Scenario("release_tool_publisher")
        self.addCleanup(scenario.close)
        program = scenario.install_program(source=published)
        record = scenario.expect_standin(TOOL_X86, 0)
        with DownloadServer(LOOPBACK_PORT, {"/" + TOOL_X86: Payload(standin_bytes())}):
            outcome = scenario.run(quote(program) + " --client-dir D:\\Games", timeout=300)
        self.assertEqual(outcome.exit_code, 2, outcome.log)
        self.assertEqual([b.text for b in outcome.boxes], ["下载最新修复工具失败，请检查网络后重试。"])
        self.assertIsNone(read_record(record), "the unsigned tool never started")


if __name__ == "__main__":
    unittest.main(verbosity=2)
