"""Only what the expected publisher signed is run.

A build of the program that requires both downloads to be signed by a
throwaway publisher fetches stand-ins signed at test time with osslsigncode.
Wine's WinVerifyTrust accepts a well-formed signature whatever its root;
the program's own check of the signer's chain against the machine's stores
does not, so roots are seen here too. Revocation is Windows' to show. A
build that pins the runtime installer by its SHA-512 is run here too, and the
signed build's check of an unpinned installer by the root it leads to.
"""

import os
import shutil
import tempfile
import unittest

from harness import wine
from harness.bootstrapper import (INSTALLER_X86, STANDIN, TOOL_X86, ScenarioTest, pinned_standin, quote,
                                  read_record, runtime_signed_standins, set_runtime_on_disk, signed_standins)
from harness.certificates import make_code_signing, sign
from harness.http_server import Payload

PORT = 47801
TRUST_CA = os.path.join(wine.BIN_DIR, "trust_ca.exe")
TOOL_FAILED = "下载最新修复工具失败，请检查网络后重试。"
RUNTIME_FAILED = "下载 .NET Desktop Runtime 失败，请检查网络后重试。"


class SignatureTest(ScenarioTest):
    @classmethod
    def setUpClass(cls):
        cls.directory = tempfile.mkdtemp(prefix="repair-signing-")
        cls.variants = signed_standins(cls.directory)
        cls.variants.update(runtime_signed_standins(cls.directory, large_mib=60))
        cls.variants.update({"pinned-" + arch: pinned_standin(arch) for arch in ("x64", "x86")})
        # Signed through a CA that only CurrentUser\\Root trusts, as the
        # player's unelevated session can add one; "machine-root" is the same
        # file once its CA is in the machine's Root store too. The
        # "signer-only" ones carry the signer's certificate alone, so the
        # machine's engine cannot even find the CA: a chain that stops short.
        user_root = os.path.join(cls.directory, "user-root")
        pairs, cls.user_root_ca = make_code_signing(user_root, os.environ["REPAIR_TEST_PUBLISHER"])
        signer_only = (os.path.join(user_root, "publisher.pem"), pairs["publisher"][1])
        for name, (certificate, key) in (("root", pairs["publisher"]), ("root-signer-only", signer_only)):
            sign(STANDIN, os.path.join(user_root, name + ".exe"), certificate, key)
            with open(os.path.join(user_root, name + ".exe"), "rb") as f:
                cls.variants["user-" + name] = cls.variants["machine-" + name] = f.read()
        status, output = wine.run([TRUST_CA, "--user", wine.to_windows(cls.user_root_ca)])
        if status != 0:
            raise RuntimeError("could not trust the CA in the user's store: " + output)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.directory, ignore_errors=True)

    def setUp(self):
        super().setUp()
        self.program = self.scenario.install_program(source=os.environ["REPAIR_BOOTSTRAPPER_SIGNED"])

    def run_serving(self, files, program=None):
        server = self.serve(PORT, {path: Payload(self.variants[name]) for path, name in files.items()})
        outcome = self.scenario.run(quote(program or self.program) + " --client-dir D:\\Games")
        server.stop()
        return outcome

    def test_a_tool_signed_by_the_publisher_runs_and_no_other_does(self):
        # "root": what the runtime's check would take, which the tool's never does.
        for variant, accepted in (("publisher", True), ("unsigned", False), ("changed", False), ("other", False),
                                  ("root", False), ("user-root", False), ("user-root-signer-only", False),
                                  ("machine-root", True), ("machine-root-signer-only", True)):
            with self.subTest(tool=variant):
                if variant == "machine-root":
                    self.assertEqual(wine.run([TRUST_CA, wine.to_windows(self.user_root_ca)])[0], 0)
                self.scenario.fresh_work_directory()
                record = self.scenario.expect_standin(TOOL_X86, 0)
                outcome = self.run_serving({"/" + TOOL_X86: variant})
                tool = os.path.join(self.scenario.work_dir, TOOL_X86)
                if accepted:
                    self.assertEqual(outcome.exit_code, 0, outcome.log)
                    self.assertEqual(outcome.boxes, [])
                    self.assertIsNotNone(read_record(record))
                    os.remove(record)
                else:
                    self.assertEqual(outcome.exit_code, 2, outcome.log)
                    self.assertEqual([b.text for b in outcome.boxes], [TOOL_FAILED])
                    self.assertIsNone(read_record(record), "never started")
                    self.assertFalse(os.path.exists(tool), "deleted, so nothing can start it later")

    def test_an_installer_runs_by_its_pin_alone_or_unpinned_by_its_root_alone(self):
        # The pinned build pins the x86 installer to a stand-in signed as
        # .NET's own files are (the x64 one to another signing of it) and
        # checks no root: the pin alone decides. The signed build pins
        # nothing and allows the runtime root alone, whatever the name.
        set_runtime_on_disk(False)
        self.addCleanup(set_runtime_on_disk, True)
        pinned = self.scenario.install_program(name="pinned.exe", source=os.environ["REPAIR_BOOTSTRAPPER_PINNED"])
        signed = self.program
        for program, variant, accepted in ((pinned, "pinned-x86", True), (pinned, "pinned-x64", False),
                                           (pinned, "unsigned", False), (signed, "root", True),
                                           (signed, "elsewhere", False), (signed, "publisher", False),
                                           (signed, "unsigned", False)):
            with self.subTest(installer=variant, pinned=program == pinned):
                self.scenario.fresh_work_directory()
                installer = self.scenario.expect_standin(INSTALLER_X86, 0)
                tool = self.scenario.expect_standin(TOOL_X86, 0)
                outcome = self.run_serving({"/" + INSTALLER_X86: variant, "/" + TOOL_X86: "publisher"}, program)
                if accepted:
                    self.assertEqual(outcome.exit_code, 0, outcome.log)
                    self.assertIsNotNone(read_record(installer))
                    self.assertIsNotNone(read_record(tool))
                    os.remove(installer)
                    os.remove(tool)
                else:
                    self.assertEqual(outcome.exit_code, 1, outcome.log)
                    self.assertEqual([b.text for b in outcome.boxes], [RUNTIME_FAILED])
                    self.assertIsNone(read_record(installer), "never started")
                    self.assertIsNone(read_record(tool))
                    self.assertFalse(os.path.exists(os.path.join(self.scenario.work_dir, INSTALLER_X86)))

    def test_the_window_keeps_answering_while_a_large_installer_is_checked(self):
        # WinVerifyTrust hashes the whole file; the runtime installer is about 55 MB.
        set_runtime_on_disk(False)
        self.addCleanup(set_runtime_on_disk, True)
        installer = self.scenario.expect_standin(INSTALLER_X86, 0)
        self.scenario.expect_standin(TOOL_X86, 0)
        server = self.serve(PORT, {"/" + INSTALLER_X86: Payload(self.variants["large"]),
                                   "/" + TOOL_X86: Payload(self.variants["publisher"])})
        outcome = self.scenario.run(quote(self.program) + " --client-dir D:\\Games", probe_hang=True, timeout=180)
        server.stop()
        self.assertEqual(outcome.exit_code, 0, outcome.log)
        self.assertIsNotNone(read_record(installer), "the large installer was accepted and ran")
        self.assertEqual(outcome.responsiveness.hung, 0, outcome.log)
        self.assertEqual(outcome.responsiveness.unanswered, 0, outcome.log)
        print(f"60 MiB signed installer: longest WM_NULL answer {outcome.responsiveness.longest_answer_ms} ms "
              f"over {outcome.responsiveness.looks} looks, {outcome.seconds:.1f} s in all")

    def test_without_a_tool_publisher_an_unsigned_tool_runs_as_before(self):
        program = self.scenario.install_program(name="unchecked.exe")  # the test build: no publishers set
        record = self.scenario.expect_standin(TOOL_X86, 0)
        outcome = self.run_serving({"/" + TOOL_X86: "unsigned"}, program=program)
        self.assertEqual(outcome.exit_code, 0, outcome.log)
        self.assertIsNotNone(read_record(record))


if __name__ == "__main__":
    unittest.main(verbosity=2)
