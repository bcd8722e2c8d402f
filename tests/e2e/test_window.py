"""The progress window of the real program as a player sees it under Wine."""

import os
import re
import threading
import time
import unittest

from harness import wine
from harness.bootstrapper import (CAPTION, INSTALLER_X86, TOOL_X86, ScenarioTest, parse, quote, set_runtime_on_disk,
                                  standin_bytes)
from harness.http_server import DownloadServer, Payload

PORT = 47801
TOOL_PATH = "/" + TOOL_X86
DOWNLOADING = "正在下载最新修复组件..."
RUNTIME_DOWNLOADING = "正在下载运行环境..."
DETAIL = "下载完成后将自动开始检查并修复。"
RUNNING = ("正在启动修复工具...", "请在修复工具窗口中等待检查完成。")
PADDING = 3 * 1024 * 1024  # makes the served tool large enough to watch it arrive
# A 920x340 window (200 %) does not fit the harness's 800x600 desktop.
DPI_DESKTOP = (1024, 768)
DESKTOP_KEY = r"HKCU\Control Panel\Desktop"


def latest_state(run):
    """The driver's last record of the window so far, or None."""
    try:
        with open(run.out, encoding="utf-8", errors="replace") as f:
            shown = [w for w in parse(f.read()).windows if w.caption == CAPTION]
    except FileNotFoundError:
        return None
    return shown[-1] if shown else None


def state_when(run, wanted):
    """The window's state once the driver records one that wanted accepts;
    None when the run ends first."""
    while run.process.poll() is None:
        state = latest_state(run)
        if state and wanted(state):
            return state
        time.sleep(0.1)
    return None


def shoot_marquee(run, directory, pause=0.4):
    """Two screenshots of the window a moment apart while its bar runs as a
    marquee and its lines stay as they are; returns the two crops' RGB bytes,
    or None when the marquee was never seen."""
    first, second = (os.path.join(directory, f"marquee{i}.png") for i in (1, 2))
    while state := state_when(run, lambda w: w.marquee and w.status == RUNTIME_DOWNLOADING):
        wine.screenshot(first)
        time.sleep(pause)
        wine.screenshot(second)
        if latest_state(run) == state:
            box = (state.x, state.y, state.width, state.height)
            return wine.crop_pixels(first, box), wine.crop_pixels(second, box)
    return None


def shoot_when_downloading(run, path):
    if state_when(run, lambda w: w.status == DOWNLOADING and re.search(DETAIL + r" [1-9]\d%", w.detail)):
        wine.screenshot(path)


def assert_lines_on_the_window_background(test, shot, outcome):
    """In a screenshot of the window mid-download, each text line's own
    rectangle shows the window's background wherever there is no text: the
    empty right end of the line is that colour throughout, and it is the
    colour most of the rectangle has."""
    test.assertTrue(os.path.exists(shot) and outcome.controls and outcome.client, outcome.log)
    left, top = outcome.client
    background = wine.crop_pixels(shot, (left + 2, top + 2, 1, 1))
    for x, y, width, height in (outcome.controls[-1][0], outcome.controls[-1][2]):
        line = wine.crop_pixels(shot, (left + x, top + y, width, height))
        pixels = [line[i:i + 3] for i in range(0, len(line), 3)]
        test.assertEqual(max(set(pixels), key=pixels.count), background, f"line at {y}: {shot}")
        end = wine.crop_pixels(shot, (left + x + width * 3 // 4, top + y, width // 4, height))
        test.assertEqual(end, background * (len(end) // 3), f"the empty end of the line at {y}: {shot}")


class WindowTest(ScenarioTest):
    def setUp(self):
        super().setUp()
        self.program = self.scenario.install_program()
        self.scenario.expect_standin(TOOL_X86, 0)

    def run_serving(self, mode, screenshot=None, **kwargs):
        # Bytes appended to a PE file are ignored by the loader.
        payload = Payload(standin_bytes() + bytes(PADDING), mode, seconds=3)
        with DownloadServer(PORT, {TOOL_PATH: payload}):
            run = self.scenario.start(quote(self.program) + " --client-dir D:\\x", **kwargs)
            if screenshot:
                # Mid-download, as a player sees it: once the driver has seen the
                # download under way (an emulated 32-bit start takes a while).
                shooter = threading.Thread(target=shoot_when_downloading, args=(run, screenshot))
                shooter.start()
                outcome = run.wait()
                shooter.join()
                return outcome
            return run.wait()

    def test_a_known_size_shows_percentages_and_the_window_is_centred(self):
        shot = os.path.join(self.scenario.records, "window-96dpi.png")
        outcome = self.run_serving("slow", screenshot=shot)
        self.assertEqual(outcome.exit_code, 0, outcome.log)
        assert_lines_on_the_window_background(self, shot, outcome)
        shown = [w for w in outcome.windows if w.caption == CAPTION]
        self.assertTrue(shown, outcome.log)
        for state in shown:
            self.assertEqual((state.x, state.y, state.width, state.height), (170, 215, 460, 170))
        downloading = [w for w in shown if w.status == DOWNLOADING]
        percents = [int(w.detail[len(DETAIL) + 1:-1]) for w in downloading if w.detail.endswith("%")]
        self.assertTrue(percents, outcome.log)
        for state in downloading:
            if state.detail.endswith("%"):
                self.assertRegex(state.detail, "^" + DETAIL + r" \d+%$")
        self.assertEqual(percents, sorted(percents), "never goes back")
        self.assertTrue(any(0 < p < 100 for p in percents), "seen mid-way")
        # The bar is read apart from the lines, so compare it with itself only.
        bar = [w.position for w in downloading if w.position >= 0]
        self.assertEqual(bar, sorted(bar), "the bar never goes back")
        self.assertGreater(max(bar), 0, "the bar moved")

    def test_at_150_and_200_percent_every_size_scales_and_the_window_stays_centred(self):
        # Wine reads LogPixels when a process starts; nothing else in this
        # prefix starts meanwhile (the end-to-end runs take turns).
        self.addCleanup(wine.run, ["reg", "delete", DESKTOP_KEY, "/v", "LogPixels", "/f"])
        for dpi in (144, 192):
            with self.subTest(dpi=dpi):
                status, output = wine.run(["reg", "add", DESKTOP_KEY, "/v", "LogPixels", "/t", "REG_DWORD", "/d",
                                           str(dpi), "/f"])
                self.assertEqual(status, 0, output)
                self.scenario.fresh_work_directory()
                self.scenario.expect_standin(TOOL_X86, 0)
                shot = os.path.join(os.path.dirname(wine.HARNESS_DIR), f"window-{dpi}dpi.png")
                outcome = self.run_serving("slow", desktop=DPI_DESKTOP, screenshot=shot)
                self.assertEqual(outcome.exit_code, 0, outcome.log)
                width, height = (460 * dpi + 48) // 96, (170 * dpi + 48) // 96
                shown = [w for w in outcome.windows if w.caption == CAPTION]
                self.assertTrue(shown, outcome.log)
                centred = ((DPI_DESKTOP[0] - width) // 2, (DPI_DESKTOP[1] - height) // 2)
                for state in shown:
                    self.assertEqual((state.x, state.y, state.width, state.height), (*centred, width, height))
                scaled = [tuple((n * dpi + 48) // 96 for n in box)
                          for box in ((22, 22, 400, 24), (22, 58, 400, 22), (22, 92, 400, 24))]
                self.assertIn(scaled, outcome.controls, "status line, bar and detail line, each scaled")
                assert_lines_on_the_window_background(self, shot, outcome)

    def test_without_a_size_the_detail_line_has_no_percentage(self):
        outcome = self.run_serving("bursts-chunked")
        self.assertEqual(outcome.exit_code, 0, outcome.log)
        downloading = [w for w in outcome.windows if w.status == DOWNLOADING]
        self.assertIn(DETAIL, {w.detail for w in downloading}, outcome.log)
        # The watcher reads the two lines one after the other, so a snapshot
        # may catch the lower line before it changes; none may show a percentage.
        self.assertEqual([w.detail for w in downloading if w.detail.endswith("%")], [])

    def test_the_bar_runs_as_a_marquee_without_a_length_and_shows_the_percentage_with_one(self):
        # The runtime installer comes compressed on the fly (no length), the
        # tool with its length: one run shows both kinds of bar.
        set_runtime_on_disk(False)
        self.scenario.expect_standin(INSTALLER_X86, 0)
        files = {"/" + INSTALLER_X86: Payload(standin_bytes() + bytes(PADDING), "slow-chunked", seconds=6),
                 TOOL_PATH: Payload(standin_bytes() + bytes(PADDING), "slow", seconds=3)}
        with DownloadServer(PORT, files):
            run = self.scenario.start(quote(self.program) + " --client-dir D:\\x")
            crops = shoot_marquee(run, self.scenario.records)
            outcome = run.wait()
        self.assertEqual(outcome.exit_code, 0, outcome.log)
        self.assertIsNotNone(crops, "the bar was seen as a marquee: " + outcome.log)
        self.assertNotEqual(crops[0], crops[1], "the marquee moves")
        percent = [w for w in outcome.windows if w.status == DOWNLOADING and w.detail.endswith("%")]
        self.assertTrue(percent, outcome.log)
        self.assertFalse(any(w.marquee for w in percent), "a known length shows a position, not a marquee")
        self.assertTrue(outcome.modules and all("\\winsxs\\" in m.lower() for m in outcome.modules),
                        f"the common controls of version 6: {outcome.modules}")

    def test_a_close_request_leaves_the_window_open_but_disabled(self):
        outcome = self.run_serving("slow", close_window=True)
        self.assertEqual(outcome.exit_code, 0, outcome.log)
        disabled = [w for w in outcome.windows if not w.enabled]
        # How long it ran tells a start that found another run (at once) from
        # a window the driver never saw (the whole download).
        self.assertTrue(disabled, f"after {outcome.seconds:.1f} s: {outcome.log}")
        first_disabled = outcome.windows.index(disabled[0])
        later = outcome.windows[first_disabled:]
        self.assertTrue(any(w.status in (DOWNLOADING,) + RUNNING for w in later),
                        "the run went on with the window showing updates")
        self.assertTrue(all(not w.enabled for w in later))

    def test_the_window_keeps_answering_while_the_tool_runs(self):
        self.scenario.expect_standin(TOOL_X86, 0, sleep_ms=8000)
        outcome = self.run_serving("length", probe_hang=True)
        self.assertEqual(outcome.exit_code, 0, outcome.log)
        self.assertTrue(any(w.status == RUNNING[0] for w in outcome.windows), outcome.log)
        looks = outcome.responsiveness
        self.assertGreater(looks.looks, 20, outcome.log)
        self.assertEqual((looks.hung, looks.unanswered), (0, 0), outcome.log)
        print(f"longest WM_NULL answer while the tool ran: {looks.longest_answer_ms} ms over {looks.looks} looks")


if __name__ == "__main__":
    unittest.main(verbosity=2)
