"""Downloads over HTTPS are verified: only a trusted certificate for the
right name, within its validity, lets a run go on.

A build of the program fetching from https://localhost:47805 (Wine 8 ignores
IP addresses in certificate names) runs against a loopback TLS server. The
throwaway CA is trusted only inside the test prefix.
"""

import os
import shutil
import tempfile
import unittest

from harness import wine
from harness.bootstrapper import (INSTALLER_X86, TOOL_X86, ScenarioTest, quote, read_record,
                                  set_runtime_on_disk, standin_bytes)
from harness.certificates import make_all
from harness.http_server import DownloadServer, Payload

PORT = 47805
TOOL_FAILED = "下载最新修复工具失败，请检查网络后重试。"
RUNTIME_FAILED = "下载 .NET Desktop Runtime 失败，请检查网络后重试。"


class HttpsTest(ScenarioTest):
    @classmethod
    def setUpClass(cls):
        cls.directory = tempfile.mkdtemp(prefix="repair-certs-")
        cls.certificates, trusted_der = make_all(cls.directory)
        status, output = wine.run([os.path.join(wine.BIN_DIR, "trust_ca.exe"), wine.to_windows(trusted_der)])
        if status != 0:
            raise RuntimeError("could not trust the test CA: " + output)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.directory, ignore_errors=True)
        set_runtime_on_disk(True)

    def setUp(self):
        super().setUp()
        self.program = self.scenario.install_program(source=os.environ["REPAIR_BOOTSTRAPPER_HTTPS"])
        self.record = self.scenario.expect_standin(TOOL_X86, 0)

    def run_against(self, certificate):
        files = {"/" + TOOL_X86: Payload(standin_bytes()), "/" + INSTALLER_X86: Payload(standin_bytes())}
        with DownloadServer(PORT, files, tls=self.certificates[certificate]):
            return self.scenario.run(quote(self.program) + " --client-dir D:\\Games")

    def test_a_trusted_certificate_for_localhost_works_as_over_http(self):
        outcome = self.run_against("good")
        self.assertEqual(outcome.exit_code, 0, outcome.log)
        self.assertEqual(outcome.boxes, [])
        self.assertIsNotNone(read_record(self.record))

    def test_unknown_ca_wrong_name_and_expired_fail_like_any_download(self):
        for certificate in ("unknownca", "wrongname", "expired"):
            with self.subTest(certificate=certificate):
                outcome = self.run_against(certificate)
                self.assertEqual(outcome.exit_code, 2, outcome.log)
                self.assertEqual([b.text for b in outcome.boxes], [TOOL_FAILED])
                self.assertIsNone(read_record(self.record), "nothing was run")
                self.assertFalse(os.path.exists(os.path.join(self.scenario.work_dir, TOOL_X86)))

    def test_an_untrusted_installer_download_ends_with_1(self):
        set_runtime_on_disk(False)
        installer = self.scenario.expect_standin(INSTALLER_X86, 0)
        outcome = self.run_against("unknownca")
        self.assertEqual(outcome.exit_code, 1, outcome.log)
        self.assertEqual([b.text for b in outcome.boxes], [RUNTIME_FAILED])
        self.assertIsNone(read_record(installer))


if __name__ == "__main__":
    unittest.main(verbosity=2)
