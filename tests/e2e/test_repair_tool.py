"""The real bootstrapper fetching and running the repair tool, end to end.

The shipped file's 32-bit build with the test settings fetches from
http://127.0.0.1:47801 and, on 32-bit Windows, takes the x86 branches. The
runtime is present on disk for all of these, so the run goes straight to the
repair tool.
"""

import os
import time
import unittest

from harness import wine
from harness.bootstrapper import (TOOL_X86, WINDOW_CLASS, ScenarioTest, quote, read_record, small_program_data,
                                  standin_bytes)
from harness.http_server import Payload

PORT = 47801
TOOL_PATH = "/" + TOOL_X86
DOWNLOAD_FAILED = "下载最新修复工具失败，请检查网络后重试。"


class ToolScenarioTest(ScenarioTest):
    def setUp(self):
        super().setUp()
        self.program = self.scenario.install_program()

    def serve_tool(self, payload=None):
        return self.serve(PORT, {TOOL_PATH: payload or Payload(standin_bytes())})

    def run_with_client(self, client, **kwargs):
        return self.scenario.run(quote(self.program) + " --client-dir " + quote(client), **kwargs)


class RepairToolTest(ToolScenarioTest):

    def test_a_tool_cut_short_by_a_full_disk_is_a_failed_download(self):
        # urlmon answers S_OK for the file a full disk cut short.
        self.serve_tool(Payload(standin_bytes().ljust(4 * 1024 * 1024, b"\0"), "length"))
        record = self.scenario.expect_standin(TOOL_X86, 0)
        with small_program_data(self):
            outcome = self.run_with_client("D:\\Games")
            left = os.listdir(self.scenario.work_dir) if os.path.isdir(self.scenario.work_dir) else []
        self.assertEqual(outcome.exit_code, 2, outcome.log)
        self.assertEqual([b.text for b in outcome.boxes], [DOWNLOAD_FAILED])
        self.assertIsNone(read_record(record), "the cut tool never started")
        self.assertNotIn(TOOL_X86, left, "nothing under its final name")

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

    def test_what_an_earlier_work_folder_holds_never_stands_beside_the_tool_that_runs(self):
        # As a folder that anyone could add to would be after an earlier
        # version: the tool under its fixed name, and two DLLs that the tool
        # would load from its own folder. (Wine reads every owner as the
        # running account, which is not trusted either; the rule on contents
        # alone is shown by the integration tests.)
        server = self.serve_tool()
        os.makedirs(self.scenario.work_dir)
        planted = {name: os.path.join(self.scenario.work_dir, name)
                   for name in (TOOL_X86, "version.dll", "hostfxr.dll")}
        for path in planted.values():
            with open(path, "wb") as f:
                f.write(b"left by someone")
        record = self.scenario.expect_standin(TOOL_X86, 0)
        outcome = self.run_with_client("D:\\x")
        self.assertEqual(outcome.exit_code, 0, outcome.log)
        self.assertEqual(outcome.boxes, [])
        self.assertEqual(read_record(record)[1][0], "C:\\ProgramData\\VandrelRepair\\" + TOOL_X86)
        self.assertEqual(sorted(os.listdir(self.scenario.work_dir)), [TOOL_X86, "temp"],
                         "nothing beside the tool but the children's temp folder")
        data = os.path.dirname(self.scenario.work_dir)
        aside = [n for n in os.listdir(data) if n.startswith("VandrelRepair-moved-")]
        self.assertEqual(len(aside), 1, os.listdir(data))
        self.assertEqual(sorted(os.listdir(os.path.join(data, aside[0]))), sorted(planted),
                         "moved aside whole, nothing deleted")
        self.assertEqual(server.requests, [TOOL_PATH])

    def test_what_the_tool_writes_where_it_starts_stays_out_of_the_downloads(self):
        self.check_what_the_tool_leaves_stays_out_of_the_downloads(self.program, TOOL_X86, PORT)

    def test_the_data_root_in_the_environment_is_not_followed(self):
        # The elevated copy's environment comes from the user's own registry.
        elsewhere = os.path.join(self.scenario.root, "elsewhere")
        os.makedirs(elsewhere)
        self.serve_tool()
        record = self.scenario.expect_standin(TOOL_X86, 0)
        outcome = self.scenario.run(quote(self.program) + " --client-dir D:\\x",
                                    env={"ProgramData": wine.to_windows(elsewhere)})
        self.assertEqual(outcome.exit_code, 0, outcome.log)
        self.assertEqual(read_record(record)[1][0], "C:\\ProgramData\\VandrelRepair\\" + TOOL_X86)
        self.assertEqual(os.listdir(elsewhere), [], "nothing made at the other place")

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
        # Not even "MZ": with 32-bit Wine present, Wine hands any MZ file to
        # its DOS loader, which "runs" it.
        self.serve_tool(Payload(b"this is not a program" * 100))
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


class FieldHazardsTest(ToolScenarioTest):
    """What a player's machine throws at a run: a silent server, a trickle,
    a scanner holding the file, a second start."""

    def test_a_stalled_download_is_given_up_with_the_download_message(self):
        server = self.serve_tool(Payload(bytes(10 * 1024 * 1024), "stall", seconds=120))
        run = self.scenario.start(quote(self.program) + " --client-dir D:\\x", probe_hang=True)
        stalled_at = shown_at = None
        while run.process.poll() is None and shown_at is None:
            if stalled_at is None and server.requests:
                stalled_at = time.monotonic()
            if os.path.exists(run.out):
                with open(run.out, encoding="utf-8") as f:
                    if "box\t" in f.read():
                        shown_at = time.monotonic()
            time.sleep(0.05)
        shown_at = shown_at or time.monotonic()
        outcome = run.wait()
        self.assertEqual(outcome.exit_code, 2, outcome.log)
        self.assertEqual([b.text for b in outcome.boxes], [DOWNLOAD_FAILED])
        self.assertLess(shown_at - stalled_at, 30, "given up after about the test build's 10 s of silence")
        self.assertFalse(os.path.exists(os.path.join(self.scenario.work_dir, TOOL_X86)),
                         "no partial file under the name that is run")
        self.assertEqual(os.listdir(self.scenario.work_dir), ["temp"], "the partial file went too")
        self.assertEqual(outcome.responsiveness.hung, 0, outcome.log)
        self.assertEqual(outcome.responsiveness.unanswered, 0, outcome.log)
        print(f"stall to message {shown_at - stalled_at:.2f} s (includes the 64 KiB), "
              f"longest WM_NULL answer {outcome.responsiveness.longest_answer_ms} ms")

    def test_a_trickle_that_keeps_delivering_completes(self):
        # Seven pieces with 2 s of silence between them, 12 s in all, against a 10 s stall limit.
        self.serve_tool(Payload(standin_bytes(), "trickle", seconds=2, pieces=7))
        record = self.scenario.expect_standin(TOOL_X86, 0)
        outcome = self.run_with_client("D:\\x", timeout=90)
        self.assertEqual(outcome.exit_code, 0, outcome.log)
        self.assertEqual(outcome.boxes, [])
        self.assertIsNotNone(read_record(record))

    def test_an_earlier_copy_held_by_a_scanner_does_not_stop_the_run(self):
        # Wine reads the folder's owner as the running account, so the run
        # moves the folder aside with the held copy in it and downloads into
        # a new one; the retries on a busy file at the fixed name are shown
        # by the integration tests.
        self.serve_tool()
        record = self.scenario.expect_standin(TOOL_X86, 0)
        os.makedirs(self.scenario.work_dir)
        earlier = os.path.join(self.scenario.work_dir, TOOL_X86)
        with open(earlier, "wb") as f:
            f.write(b"an earlier copy that is no program")
        self.scenario.hold_file(earlier, 60)
        outcome = self.run_with_client("D:\\x")
        self.assertEqual(outcome.exit_code, 0, outcome.log)
        self.assertEqual(outcome.boxes, [])
        self.assertIsNotNone(read_record(record), "the new file ran")
        self.assertLess(outcome.seconds, 20)

    def test_a_second_start_during_a_run_only_points_at_it(self):
        # The first run's tool runs until the test lets it go, so that "at
        # once" means the same on a loaded machine: the second start ends
        # while the first run is still going, without a download of its own.
        server = self.serve_tool()
        release = os.path.join(self.scenario.records, "release-the-tool")
        record = self.scenario.expect_standin(TOOL_X86, 0, until=release)
        first = self.scenario.start(quote(self.program) + " --client-dir D:\\x")
        deadline = time.monotonic() + 60
        while read_record(record) is None and time.monotonic() < deadline:
            time.sleep(0.05)
        second = self.run_with_client("D:\\x")
        self.assertIsNone(first.process.poll(), "the first run was still going when the second ended")
        self.assertEqual(second.exit_code, 0, second.log)
        print(f"a second start returned after {second.seconds:.2f} s (driver start included)")
        self.assertEqual(second.windows, [], "no window of its own")
        self.assertEqual(server.requests, [TOOL_PATH], "no download of its own")
        with open(release, "w", encoding="utf-8"):
            pass
        outcome = first.wait()
        self.assertEqual(outcome.exit_code, 0, outcome.log)
        self.assertEqual(server.requests, [TOOL_PATH], "one download served")

        self.scenario.expect_standin(TOOL_X86, 0)
        os.remove(record)
        third = self.run_with_client("D:\\x")
        self.assertEqual(third.exit_code, 0, third.log)
        self.assertEqual(server.requests, [TOOL_PATH] * 2, "a finished run never blocks the next")
        self.assertIsNotNone(read_record(record))


if __name__ == "__main__":
    unittest.main(verbosity=2)
