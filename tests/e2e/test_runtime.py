"""Runtime provisioning of the real bootstrapper, end to end.

The shipped file's 32-bit build takes the x86 branches on 32-bit Windows: it
looks under C:\\Program Files and at the x86 key, and fetches the x86
installer and tool. The x64 rows are run under WOW64 by test_wow64.py.
"""

import os
import shutil
import unittest

from harness import wine
from harness.bootstrapper import (INSTALLER_X86, PLAYER_ENVIRONMENT, TOOL_X86, WINDOW_CLASS, ScenarioTest,
                                  assert_started_clean, planted_machine_path, quote, read_record, set_runtime_on_disk,
                                  standin_bytes)
from harness.http_server import Payload

PORT = 47801
INSTALLER_PATH = "/" + INSTALLER_X86
TOOL_PATH = "/" + TOOL_X86
RUNTIME_KEY = r"HKLM\SOFTWARE\dotnet\Setup\InstalledVersions\x86\sharedfx\Microsoft.WindowsDesktop.App"
INSTALL_FAILED = ".NET Desktop Runtime 安装失败，错误码："
DOWNLOAD_FAILED = "下载 .NET Desktop Runtime 失败，请检查网络后重试。"


class RuntimeTest(ScenarioTest):
    def setUp(self):
        super().setUp()
        set_runtime_on_disk(False)
        wine.run(["reg", "delete", RUNTIME_KEY, "/reg:32", "/f"])
        self.addCleanup(set_runtime_on_disk, True)
        self.program = self.scenario.install_program()
        self.tool_record = self.scenario.expect_standin(TOOL_X86, 0)

    def serve_downloads(self, installer=None, tool_mode="length"):
        files = {TOOL_PATH: Payload(standin_bytes(), tool_mode)}
        if installer is not None:
            files[INSTALLER_PATH] = installer
        return self.serve(PORT, files)

    def run_program(self, **kwargs):
        return self.scenario.run(quote(self.program) + " --client-dir D:\\Games", **kwargs)

    def test_an_installer_ending_0_or_3010_lets_the_tool_run(self):
        # The program's environment carries what the player's own session
        # can plant: a runtime folder named by ProgramFiles, which is not
        # taken for one, and .NET's hooks and a Windows folder of its own,
        # which neither child sees; nor a folder first in the machine's PATH.
        # Both downloads come compressed, as from a server that compresses
        # executables: the file is longer than the length it announced.
        os.makedirs(wine.drive_c("planted-pf", "dotnet", "shared", "Microsoft.WindowsDesktop.App", "8.0.1"))
        self.addCleanup(shutil.rmtree, wine.drive_c("planted-pf"), True)
        planted = {**PLAYER_ENVIRONMENT, "ProgramFiles": "C:\\planted-pf", "ProgramW6432": "C:\\planted-pf"}
        server = self.serve_downloads(Payload(standin_bytes(), "gzip"), tool_mode="gzip")
        for code in (0, 3010):
            with self.subTest(code=code):
                self.scenario.fresh_work_directory()
                self.tool_record = self.scenario.expect_standin(TOOL_X86, 0)
                installer = self.scenario.expect_standin(INSTALLER_X86, code)
                with planted_machine_path():
                    outcome = self.run_program(env=planted)
                self.assertEqual(outcome.exit_code, 0, outcome.log)
                self.assertEqual(outcome.boxes, [])
                assert_started_clean(self, installer)
                assert_started_clean(self, self.tool_record)
                command_line, args, flags = read_record(installer)
                self.assertEqual(args[1:], ["/install", "/quiet", "/norestart"])
                self.assertTrue(command_line.endswith('x86.exe" /install /quiet /norestart'), command_line)
                self.assertEqual(flags, {"flags": 1, "show": 1}, "normal show state requested")
                self.assertIsNotNone(read_record(self.tool_record))
                os.remove(self.tool_record)  # records are kept per file name, not per run
                os.remove(installer)
        self.assertEqual(server.requests, [INSTALLER_PATH, TOOL_PATH] * 2)
        self.assertEqual(server.compressed, server.requests, "urlmon asked for gzip every time")

    def test_a_failing_installer_shows_its_code_and_ends_with_1(self):
        server = self.serve_downloads(Payload(standin_bytes()))
        self.scenario.expect_standin(INSTALLER_X86, 1603)
        outcome = self.run_program()
        self.assertEqual(outcome.exit_code, 1, outcome.log)
        self.assertEqual([b.text for b in outcome.boxes], [INSTALL_FAILED + "1603"])
        self.assertEqual(outcome.boxes[0].owner, WINDOW_CLASS)
        self.assertEqual(server.requests, [INSTALLER_PATH], "the tool is never requested")

    def test_a_refused_installer_download_ends_with_1(self):
        outcome = self.run_program()  # nothing listens
        self.assertEqual(outcome.exit_code, 1, outcome.log)
        self.assertEqual([b.text for b in outcome.boxes], [DOWNLOAD_FAILED])
        self.assertIsNone(read_record(self.tool_record))

    def test_an_installer_that_is_no_program_reports_4294967295(self):
        self.serve_downloads(Payload(b"corrupt download " * 500))
        outcome = self.run_program()
        self.assertEqual(outcome.exit_code, 1, outcome.log)
        self.assertEqual([b.text for b in outcome.boxes], [INSTALL_FAILED + "4294967295"])

    def test_a_stalled_installer_download_ends_with_1(self):
        self.serve_downloads(Payload(bytes(10 * 1024 * 1024), "stall", seconds=120))
        outcome = self.run_program()
        self.assertEqual(outcome.exit_code, 1, outcome.log)
        self.assertEqual([b.text for b in outcome.boxes], [DOWNLOAD_FAILED])
        self.assertFalse(os.path.exists(os.path.join(self.scenario.work_dir, INSTALLER_X86)))
        self.assertIsNone(read_record(self.tool_record))

    def test_a_runtime_folder_on_disk_skips_the_installer(self):
        set_runtime_on_disk(True)
        server = self.serve_downloads(Payload(standin_bytes()))
        outcome = self.run_program()
        self.assertEqual(outcome.exit_code, 0, outcome.log)
        self.assertEqual(server.requests, [TOOL_PATH])

    def test_a_runtime_registry_value_skips_the_installer(self):
        status, output = wine.run(["reg", "add", RUNTIME_KEY, "/v", "8.0.28", "/t", "REG_DWORD", "/d", "1",
                                   "/reg:32", "/f"])
        self.assertEqual(status, 0, output)
        self.addCleanup(wine.run, ["reg", "delete", RUNTIME_KEY, "/reg:32", "/f"])
        server = self.serve_downloads(Payload(standin_bytes()))
        outcome = self.run_program()
        self.assertEqual(outcome.exit_code, 0, outcome.log)
        self.assertEqual(server.requests, [TOOL_PATH])


if __name__ == "__main__":
    unittest.main(verbosity=2)
