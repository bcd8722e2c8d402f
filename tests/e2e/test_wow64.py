"""The shipped file's own build (wine-x86 preset: the artefact's 32-bit
sources and flags, only the loopback download base and the test settings
differ) on 64-bit Windows, in the 64-bit prefix. There it sees WOW64 and
takes the x64 rows: it looks under the 64-bit Program Files folder that the
machine's registry names and at the x64 key in both
registry views, and fetches the x64 installer and tool, which are x86_64
stand-ins and run natively. The other end-to-end scenarios run the same
build on 32-bit Windows, where it takes the x86 rows.
"""

import os
import tempfile
import shutil
import unittest

from harness import wine
from harness.bootstrapper import (INSTALLER_X64, PLAYER_ENVIRONMENT, TOOL_X64, WINDOW_CLASS, ScenarioTest,
                                  assert_started_clean, pinned_standin, planted_machine_path, quote, read_record,
                                  set_runtime_on_disk, signed_standins, small_program_data, standin_bytes)
from harness.http_server import Payload

PORT = 47801
X86_BUILD = os.environ.get("REPAIR_X86_BUILD", "")
X86_BIN = os.path.join(X86_BUILD, "bin")
TIMEOUT = 120
RUNTIME_KEY = r"HKLM\SOFTWARE\dotnet\Setup\InstalledVersions\{}\sharedfx\Microsoft.WindowsDesktop.App"
CLIENT = "C:\\Games\\Vandrel Client\\"
TOOL_FAILED = "下载最新修复工具失败，请检查网络后重试。"
INSTALL_FAILED = ".NET Desktop Runtime 安装失败，错误码："
PLANTED = ("urlmon.dll", "wininet.dll", "comctl32.dll", "iertutil.dll")
NATIVE_FIRST = {"WINEDLLOVERRIDES": "urlmon,wininet,comctl32,iertutil=n,b;mscoree,mshtml="}


def setUpModule():
    if not os.path.isfile(os.path.join(X86_BUILD, "修复工具.exe")):
        raise RuntimeError(f"no 32-bit test build in {X86_BUILD!r}; build the wine-x86 preset first")
    if not os.path.exists("/proc/sys/fs/binfmt_misc/qemu-i386") or not os.path.exists(
            os.path.join(wine.environment()["REPAIR_WINE_DIR"], "wine")):
        raise RuntimeError("32-bit programs cannot start here; scripts/setup prepares wine32 and qemu-i386 as root")


class Wow64Test(ScenarioTest):
    def install(self, name="修复工具.exe", folder="bin"):
        return self.scenario.install_program(folder, name, source=os.path.join(X86_BUILD, name))

    def run_program(self, program, **kwargs):
        return self.scenario.run(quote(program) + " --client-dir " + quote(CLIENT), timeout=TIMEOUT, **kwargs)

    def assert_tool_ran(self, outcome, record):
        self.assertEqual(outcome.exit_code, 0, outcome.log)
        self.assertEqual(outcome.boxes, [])
        command_line, args, _ = read_record(record)
        self.assertTrue(command_line.endswith('--client-dir "C:\\Games\\Vandrel Client\\\\"'), command_line)
        self.assertEqual(args[1:], ["--client-dir", CLIENT])

    def test_with_the_runtime_present_the_x64_tool_runs_with_the_quoted_client_directory(self):
        program = self.install()
        record = self.scenario.expect_standin(TOOL_X64, 0)
        server = self.serve(PORT, {"/" + TOOL_X64: Payload(standin_bytes())})
        outcome = self.run_program(program)
        self.assert_tool_ran(outcome, record)
        self.assertEqual(server.requests, ["/" + TOOL_X64])
        self.assertIn("正在下载最新修复组件...", [w.status for w in outcome.windows], "the window was up")

    def test_from_no_runtime_the_x64_installer_then_the_x64_tool_run_in_one_run(self):
        set_runtime_on_disk(False)
        program = self.install()
        server = self.serve(PORT, {"/" + INSTALLER_X64: Payload(standin_bytes()),
                                   "/" + TOOL_X64: Payload(standin_bytes())})
        for code in (0, 1603):
            with self.subTest(installer_exit=code):
                self.scenario.fresh_work_directory()
                installer = self.scenario.expect_standin(INSTALLER_X64, code)
                record = self.scenario.expect_standin(TOOL_X64, 0)
                with planted_machine_path():
                    outcome = self.run_program(program, env=PLAYER_ENVIRONMENT)
                assert_started_clean(self, installer)
                command_line, args, _ = read_record(installer)
                self.assertTrue(command_line.endswith('x64.exe" /install /quiet /norestart'), command_line)
                self.assertEqual(args[1:], ["/install", "/quiet", "/norestart"])
                if code == 0:
                    self.assert_tool_ran(outcome, record)
                    assert_started_clean(self, record)
                    os.remove(record)
                else:
                    # The installer's code was read: its failure ends the run.
                    self.assertEqual(outcome.exit_code, 1, outcome.log)
                    self.assertEqual([b.text for b in outcome.boxes], [INSTALL_FAILED + "1603"])
                    self.assertIsNone(read_record(record))
                os.remove(installer)
        self.assertEqual(server.requests, ["/" + INSTALLER_X64, "/" + TOOL_X64, "/" + INSTALLER_X64])

    def test_the_x64_runtime_key_is_found_in_either_registry_view(self):
        # The 32-bit view is where Microsoft's x64 installers record it: under Wow6432Node.
        set_runtime_on_disk(False)
        program = self.install()
        server = self.serve(PORT, {"/" + TOOL_X64: Payload(standin_bytes())})
        for view in ("/reg:32", "/reg:64"):
            with self.subTest(view=view):
                self.scenario.fresh_work_directory()
                key = RUNTIME_KEY.format("x64")
                status, output = wine.run(["reg", "add", key, "/v", "8.0.28", "/t", "REG_DWORD", "/d", "1", view,
                                           "/f"])
                self.assertEqual(status, 0, output)
                record = self.scenario.expect_standin(TOOL_X64, 0)
                outcome = self.run_program(program)
                wine.run(["reg", "delete", key, view, "/f"])
                self.assert_tool_ran(outcome, record)
                os.remove(record)
        self.assertEqual(server.requests, ["/" + TOOL_X64] * 2, "no installer fetched")

    def test_a_runtime_of_the_x86_rows_or_named_by_the_environment_is_not_taken_for_the_x64_one(self):
        # The 32-bit registry view names Program Files (x86); only the 64-bit
        # view's folder leads to the x64 runtime, whatever ProgramW6432 says.
        set_runtime_on_disk(False)
        os.makedirs(wine.drive_c("planted-pf", "dotnet", "shared", "Microsoft.WindowsDesktop.App", "8.0.1"))
        self.addCleanup(shutil.rmtree, wine.drive_c("planted-pf"), True)
        x86_folder = wine.drive_c("Program Files (x86)", "dotnet", "shared", "Microsoft.WindowsDesktop.App",
                                  "8.0.28")
        os.makedirs(x86_folder, exist_ok=True)
        self.addCleanup(shutil.rmtree, wine.drive_c("Program Files (x86)", "dotnet"), ignore_errors=True)
        key = RUNTIME_KEY.format("x86")
        wine.run(["reg", "add", key, "/v", "8.0.28", "/t", "REG_DWORD", "/d", "1", "/reg:32", "/f"])
        self.addCleanup(wine.run, ["reg", "delete", key, "/reg:32", "/f"])
        program = self.install()
        self.scenario.expect_standin(INSTALLER_X64, 1603)
        server = self.serve(PORT, {"/" + INSTALLER_X64: Payload(standin_bytes())})
        outcome = self.run_program(program, env={"ProgramW6432": "C:\\planted-pf", "ProgramFiles": "C:\\planted-pf"})
        self.assertEqual(outcome.exit_code, 1, outcome.log)
        self.assertEqual(server.requests, ["/" + INSTALLER_X64])

    def test_a_refused_or_cut_short_tool_download_warns_and_ends_with_2(self):
        program = self.install()
        outcome = self.run_program(program)  # no server: the port is closed
        self.assertEqual(outcome.exit_code, 2, outcome.log)
        self.assertEqual([(b.owner, b.text) for b in outcome.boxes], [(WINDOW_CLASS, TOOL_FAILED)])

        # A full disk: urlmon answers S_OK for the file it cut short.
        self.scenario.fresh_work_directory()
        record = self.scenario.expect_standin(TOOL_X64, 0)
        self.serve(PORT, {"/" + TOOL_X64: Payload(standin_bytes().ljust(4 * 1024 * 1024, b"\0"))})
        with small_program_data(self):
            outcome = self.run_program(program)
            left = os.listdir(self.scenario.work_dir) if os.path.isdir(self.scenario.work_dir) else []
        self.assertEqual(outcome.exit_code, 2, outcome.log)
        self.assertEqual([b.text for b in outcome.boxes], [TOOL_FAILED])
        self.assertIsNone(read_record(record), "the cut tool never started")
        self.assertNotIn(TOOL_X64, left, "nothing under its final name")

    def test_the_signed_build_runs_a_signed_tool_and_refuses_an_unsigned_one(self):
        directory = tempfile.mkdtemp(prefix="repair-signing-")
        self.addCleanup(shutil.rmtree, directory, ignore_errors=True)
        variants = signed_standins(directory)
        program = self.install("修复工具-signed.exe")
        for variant, accepted in (("publisher", True), ("unsigned", False)):
            with self.subTest(tool=variant):
                self.scenario.fresh_work_directory()
                record = self.scenario.expect_standin(TOOL_X64, 0)
                server = self.serve(PORT, {"/" + TOOL_X64: Payload(variants[variant])})
                outcome = self.run_program(program)
                server.stop()
                if accepted:
                    self.assert_tool_ran(outcome, record)
                    os.remove(record)
                else:
                    self.assertEqual(outcome.exit_code, 2, outcome.log)
                    self.assertEqual([b.text for b in outcome.boxes], [TOOL_FAILED])
                    self.assertIsNone(read_record(record), "never started")
                    self.assertFalse(os.path.exists(os.path.join(self.scenario.work_dir, TOOL_X64)))

    def test_the_pinned_build_installs_the_x64_file_it_pins_whoever_signed_it(self):
        # Signed as .NET's own files are, from a test root the prefix does not
        # trust. A swap of the two pins is refused on 32-bit Windows, where the
        # x86 row is served the x64 file.
        set_runtime_on_disk(False)
        installer = self.scenario.expect_standin(INSTALLER_X64, 0)
        record = self.scenario.expect_standin(TOOL_X64, 0)
        self.serve(PORT, {"/" + INSTALLER_X64: Payload(pinned_standin("x64")),
                          "/" + TOOL_X64: Payload(standin_bytes())})
        self.assert_tool_ran(self.run_program(self.install("修复工具-pinned.exe")), record)
        self.assertIsNotNone(read_record(installer))

    def test_dlls_planted_beside_the_program_are_not_loaded(self):
        # Control first: a 32-bit program with the default search does load
        # one, and so does one restricted to System32 once a manifest beside
        # it claims the DLL.
        loader = self.scenario.install_program("downloads", "plain_loader.exe",
                                               source=os.path.join(X86_BIN, "plain_loader.exe"))
        self.scenario.plant("downloads", PLANTED, X86_BIN)
        for argument in ("", " system32"):
            if argument:
                self.scenario.plant_manifest("downloads", "plain_loader.exe")
            control = self.scenario.run(quote(loader) + argument, timeout=TIMEOUT, linux_env=NATIVE_FIRST)
            self.assertEqual(self.scenario.loaded_markers("downloads"), ["urlmon.dll.loaded"], control.log)
            self.assertEqual(control.exit_code, 0x7A)
            os.remove(os.path.join(self.scenario.root, "downloads", "urlmon.dll.loaded"))

        program = self.install(folder="downloads")
        self.scenario.plant_manifest("downloads", "修复工具.exe")
        record = self.scenario.expect_standin(TOOL_X64, 0)
        self.serve(PORT, {"/" + TOOL_X64: Payload(standin_bytes(), "slow-chunked", seconds=2)})
        outcome = self.run_program(program, linux_env=NATIVE_FIRST)
        self.assertEqual(self.scenario.loaded_markers("downloads"), [], outcome.log)
        self.assert_tool_ran(outcome, record)
        # A bar that runs without a length. (Which common controls it loaded is
        # read on 32-bit Windows: Wine 8 lists a 32-bit process's modules to
        # no 64-bit driver.)
        self.assertTrue(any(w.marquee for w in outcome.windows), outcome.log)

    def test_a_private_common_controls_assembly_beside_the_program_ends_the_run_before_it_loads(self):
        self.check_private_assembly_refused(os.path.join(X86_BUILD, "修复工具.exe"),
                                            os.path.join(X86_BIN, "manifest_probe.exe"), TOOL_X64, PORT, TIMEOUT)

    def test_a_redirection_folder_beside_the_program_ends_the_run_and_a_run_holds_its_name(self):
        self.check_redirection_folder_refused(os.path.join(X86_BUILD, "修复工具.exe"), X86_BIN, TOOL_X64, PORT,
                                              TIMEOUT)

    def test_what_the_tool_writes_where_it_starts_stays_out_of_the_downloads(self):
        self.check_what_the_tool_leaves_stays_out_of_the_downloads(self.install(), TOOL_X64, PORT, TIMEOUT)


if __name__ == "__main__":
    unittest.main(verbosity=2)
