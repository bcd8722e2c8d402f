"""A DLL planted beside the program must not be loaded, not even through a
manifest planted beside it that claims those DLLs as the program's own.

Wine loads its own built-in DLLs whatever lies beside a program; the override
below restores Windows' application-folder-first order for the DLLs under
test, so that a planted one would be loaded unless the program prevents it.
version.dll is left out: Wine's own user32 imports it, so under such an
override every windowed program loads a planted copy before its first line.
"""

import os
import shutil
import unittest

from harness import wine
from harness.bootstrapper import TOOL_X86, ScenarioTest, quote, read_record, standin_bytes
from harness.http_server import DownloadServer, Payload

PORT = 47801
PLANTED = ("urlmon.dll", "wininet.dll", "comctl32.dll", "iertutil.dll", "wintrust.dll", "crypt32.dll")
NATIVE_FIRST = {"WINEDLLOVERRIDES": "urlmon,wininet,comctl32,iertutil,wintrust,crypt32=n,b;mscoree,mshtml="}
TOOL_FAILED = "下载最新修复工具失败，请检查网络后重试。"


class DllPlantingTest(ScenarioTest):
    def setUp(self):
        super().setUp()
        self.folder = os.path.join(self.scenario.root, "downloads")

    def plant(self, names=PLANTED):
        self.scenario.plant("downloads", names)

    def markers(self):
        return self.scenario.loaded_markers("downloads")

    def test_control_a_planted_dll_is_loaded_by_default_and_through_a_manifest_despite_the_restriction(self):
        program = self.scenario.install_program("downloads", "plain_loader.exe",
                                                source=os.path.join(wine.BIN_DIR, "plain_loader.exe"))
        self.plant()
        for argument, manifest in (("", False), (" system32", True)):
            with self.subTest(argument=argument, manifest=manifest):
                if manifest:
                    self.scenario.plant_manifest("downloads", "plain_loader.exe")
                outcome = self.scenario.run(quote(program) + argument, linux_env=NATIVE_FIRST)
                self.assertEqual(self.markers(), ["urlmon.dll.loaded"], outcome.log)
                self.assertEqual(outcome.exit_code, 0x7A)
                os.remove(os.path.join(self.folder, "urlmon.dll.loaded"))

    def test_the_bootstrapper_loads_none_and_completes(self):
        # Its own manifest is the one that counts, never one beside it.
        program = self.scenario.install_program("downloads")
        self.plant()
        self.scenario.plant_manifest("downloads", "修复工具.exe")
        record = self.scenario.expect_standin(TOOL_X86, 0)
        with DownloadServer(PORT, {"/" + TOOL_X86: Payload(standin_bytes())}):
            outcome = self.scenario.run(quote(program) + " --client-dir D:\\Games", linux_env=NATIVE_FIRST)
        self.assertEqual(self.markers(), [], outcome.log)
        self.assertEqual(outcome.exit_code, 0, outcome.log)
        self.assertIsNotNone(read_record(record), "the repair tool ran")

    def test_the_signature_check_loads_none_either(self):
        # The build that checks signatures binds wintrust and crypt32 when the
        # tool arrives; an unsigned tool is then refused by the real check.
        # One planted at a time, so that neither can hide the other.
        for dll in ("wintrust.dll", "crypt32.dll"):
            with self.subTest(dll=dll):
                shutil.rmtree(self.folder, ignore_errors=True)
                self.scenario.fresh_work_directory()
                program = self.scenario.install_program("downloads", source=os.environ["REPAIR_BOOTSTRAPPER_SIGNED"])
                self.plant((dll,))
                record = self.scenario.expect_standin(TOOL_X86, 0)
                with DownloadServer(PORT, {"/" + TOOL_X86: Payload(standin_bytes())}):
                    outcome = self.scenario.run(quote(program) + " --client-dir D:\\Games", linux_env=NATIVE_FIRST)
                self.assertEqual(self.markers(), [], outcome.log)
                self.assertEqual(outcome.exit_code, 2, outcome.log)
                self.assertEqual([b.text for b in outcome.boxes], [TOOL_FAILED])
                self.assertIsNone(read_record(record))

    def test_a_private_common_controls_assembly_beside_the_program_ends_the_run_before_it_loads(self):
        self.check_private_assembly_refused(os.environ["REPAIR_BOOTSTRAPPER"],
                                            os.path.join(wine.BIN_DIR, "manifest_probe.exe"), TOOL_X86, PORT)

    def test_a_redirection_folder_beside_the_program_ends_the_run_and_a_run_holds_its_name(self):
        self.check_redirection_folder_refused(os.environ["REPAIR_BOOTSTRAPPER"], wine.BIN_DIR, TOOL_X86, PORT)

    def test_the_program_at_the_root_of_drive_c_runs(self):
        self.check_runs_from_the_drive_root(os.environ["REPAIR_BOOTSTRAPPER"], TOOL_X86, PORT)


if __name__ == "__main__":
    unittest.main(verbosity=2)
