"""The real bootstrapper fetching and running the repair tool, end to end.

The test build fetches from http://127.0.0.1:47801 and, being a 64-bit
program under Wine, takes the x86 branches. The runtime is present on disk
for all of these, so the run goes straight to the repair tool.
"""

import os
import unittest

from harness import wine
from harness.bootstrapper import TOOL_X86, WINDOW_CLASS, ScenarioTest, quote, read_record, standin_bytes
from harness.http_server import Payload

PORT = 47801
TOOL_PATH = "/" + TOOL_X86
DOWNLOAD_FAILED = "下载最新修复工具失败，请检查网络后重试。"


class RepairToolTest(ScenarioTest):
    def setUp(self):
        super().setUp()
        self.program = self.scenario.install_program()

    def serve_tool(self, payload=None):
        return self.serve(PORT, {TOOL_PATH: payload or Payload(standin_bytes())})

    def run_with_client(self, client, **kwargs):
        return self.scenario.run(quote(self.program) + " --client-dir " + quote(client), **kwargs)

    def test_tool_exit_codes_other_than_minus_one_end_with_0_and_no_window(self):
        server = self.serve_tool()
        for code in (0, 1, 0xC0000005):
            with self.subTest(code=hex(code)):
                self.scenario.fresh_work_directory()
                record = self.scenario.expect_standin(TOOL_X86, code)
                outcome = self.run_with_client("D:\\Games\\Vandrel")
                self.assertEqual(outcome.exit_code, 0, outcome.log)
                self.assertEqual(outcome.boxes, [])
                _, args, flags = read_record(record)
                self.assertEqual(args[1:], ["--client-dir", "D:\\Games\\Vandrel"])
                self.assertEqual(flags["flags"], 0, "the tool opens its windows its own way")
                os.remove(record)
        self.assertEqual(server.requests, [TOOL_PATH] * 3)

    def test_tool_exiting_ffffffff_counts_as_not_started(self):
        self.serve_tool()
        record = self.scenario.expect_standin(TOOL_X86, 0xFFFFFFFF)
        outcome = self.run_with_client("D:\\x")
        self.assertEqual(outcome.exit_code, 2, outcome.log)
        self.assertEqual(outcome.boxes, [])
        self.assertIsNotNone(read_record(record), "the tool did run")

    def test_refused_connection_warns_owned_by_the_window_and_ends_with_2(self):
        # No server: the port is closed.
        outcome = self.run_with_client("D:\\x")
        self.assertEqual(outcome.exit_code, 2, outcome.log)
        self.assertEqual(len(outcome.boxes), 1, outcome.log)
        box = outcome.boxes[0]
        self.assertEqual(box.text, DOWNLOAD_FAILED)
        self.assertEqual(box.owner, WINDOW_CLASS)
        self.assertEqual(box.icon, "icon")

    def test_a_download_that_is_no_program_ends_with_2_silently(self):
        self.serve_tool(Payload(b"MZ but not really a program" * 100))
        outcome = self.run_with_client("D:\\x")
        self.assertEqual(outcome.exit_code, 2, outcome.log)
        self.assertEqual(outcome.boxes, [])
        self.assertTrue(os.path.exists(os.path.join(self.scenario.work_dir, TOOL_X86)),
                        "the download stays in the work directory")

    def test_client_directories_reach_the_tool_as_one_unchanged_argument(self):
        self.serve_tool()
        for client in ("D:\\My Games\\Vandrel", "D:\\游戏\\赤砂回廊", "D:\\Games\\Vandrel\\", "C:\\",
                       "D:\\a \"quoted\" dir", ""):
            with self.subTest(client=client):
                self.scenario.fresh_work_directory()
                record = self.scenario.expect_standin(TOOL_X86, 0)
                outcome = self.run_with_client(client)
                self.assertEqual(outcome.exit_code, 0, outcome.log)
                _, args, _ = read_record(record)
                self.assertEqual(args[1:], ["--client-dir", client])
                os.remove(record)

    def test_the_program_folder_becomes_the_client_when_it_holds_the_game(self):
        self.serve_tool()
        folder = "游戏 目录\\Vandrel"
        program = self.scenario.install_program(folder)
        with open(os.path.join(self.scenario.root, *folder.split("\\"), "赤砂回廊.exe"), "wb") as f:
            f.write(b"game")
        record = self.scenario.expect_standin(TOOL_X86, 0)
        outcome = self.scenario.run(quote(program))
        self.assertEqual(outcome.exit_code, 0, outcome.log)
        _, args, _ = read_record(record)
        self.assertEqual(args[1:], ["--client-dir", program.rsplit("\\", 1)[0]])

    def test_a_program_at_a_drive_root_hands_over_the_root(self):
        self.serve_tool()
        drive = os.path.join(wine.prefix(), "dosdevices", "x:")
        target = os.path.join(self.scenario.root, "xdrive")
        os.makedirs(target)
        if os.path.lexists(drive):
            os.remove(drive)
        os.symlink(target, drive)
        self.addCleanup(os.remove, drive)
        program = self.scenario.install_program("xdrive")
        record = self.scenario.expect_standin(TOOL_X86, 0)
        outcome = self.scenario.run(quote("X:\\" + program.rsplit("\\", 1)[-1]))
        self.assertEqual(outcome.exit_code, 0, outcome.log)
        _, args, _ = read_record(record)
        self.assertEqual(args[1:], ["--client-dir", "X:\\"])


if __name__ == "__main__":
    unittest.main(verbosity=2)
