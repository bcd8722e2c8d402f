"""The file players download, run as shipped: the 32-bit build of the
artefact's sources and flags (wine-x86 preset: only the loopback download
base and the test settings differ) under 32-bit Wine in the 64-bit prefix.
There it sees WOW64 and takes the x64 branches: it looks under ProgramW6432
and fetches the x64 installer and tool, which are x86_64 stand-ins and run
natively.

Every start of a 32-bit program costs about a minute here (its CPU is
emulated), so each scenario is one run. Under this emulation a 32-bit process
misbehaves once it has started a child (a later download never sends its
request), so no scenario relies on anything after the first child's exit
code has been read.
"""

import os
import tempfile
import shutil
import unittest

from harness import wine
from harness.bootstrapper import (INSTALLER_X64, TOOL_X64, WINDOW_CLASS, ScenarioTest, quote, read_record,
                                  set_runtime_on_disk, signed_standins, standin_bytes)
from harness.http_server import Payload

PORT = 47801
X86_BUILD = os.environ.get("REPAIR_X86_BUILD", "")
X86_BIN = os.path.join(X86_BUILD, "bin")
TIMEOUT = 300
CLIENT = "C:\\Games\\Vandrel Client\\"
TOOL_FAILED = "下载最新修复工具失败，请检查网络后重试。"
INSTALL_FAILED = ".NET Desktop Runtime 安装失败，错误码："
PLANTED = ("urlmon.dll", "wininet.dll", "comctl32.dll", "iertutil.dll")
NATIVE_FIRST = {"WINEDLLOVERRIDES": "urlmon,wininet,comctl32,iertutil=n,b;mscoree,mshtml="}


def setUpModule():
    if not os.path.isfile(os.path.join(X86_BUILD, "修复工具.exe")):
        raise RuntimeError(f"no 32-bit test build in {X86_BUILD!r}; build the wine-x86 preset first")
    if not os.path.exists("/proc/sys/fs/binfmt_misc/qemu-i386") or not os.path.exists("/usr/lib/wine/wine"):
        raise RuntimeError("32-bit programs cannot start here; scripts/setup prepares wine32 and qemu-i386 as root")


class X86Test(ScenarioTest):
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

    def test_with_the_runtime_missing_the_x64_installer_runs_silently(self):
        set_runtime_on_disk(False)
        program = self.install()
        installer = self.scenario.expect_standin(INSTALLER_X64, 1603)
        server = self.serve(PORT, {"/" + INSTALLER_X64: Payload(standin_bytes())})
        outcome = self.run_program(program)
        _, args, _ = read_record(installer)
        self.assertEqual(args[1:], ["/install", "/quiet", "/norestart"])
        # The installer's code was read: its failure ends the run.
        self.assertEqual(outcome.exit_code, 1, outcome.log)
        self.assertEqual([b.text for b in outcome.boxes], [INSTALL_FAILED + "1603"])
        self.assertEqual(server.requests, ["/" + INSTALLER_X64])

    def test_a_runtime_recorded_only_in_the_32bit_registry_view_is_found(self):
        # Where Microsoft's x64 installers record it: under Wow6432Node.
        set_runtime_on_disk(False)
        key = r"HKLM\SOFTWARE\dotnet\Setup\InstalledVersions\x64\sharedfx\Microsoft.WindowsDesktop.App"
        status, output = wine.run(["reg", "add", key, "/v", "8.0.28", "/t", "REG_DWORD", "/d", "1", "/reg:32", "/f"])
        self.assertEqual(status, 0, output)
        self.addCleanup(wine.run, ["reg", "delete", key, "/reg:32", "/f"])
        program = self.install()
        record = self.scenario.expect_standin(TOOL_X64, 0)
        server = self.serve(PORT, {"/" + TOOL_X64: Payload(standin_bytes())})
        outcome = self.run_program(program)
        self.assert_tool_ran(outcome, record)
        self.assertEqual(server.requests, ["/" + TOOL_X64], "no installer fetched")

    def test_a_refused_tool_download_warns_and_ends_with_2(self):
        program = self.install()
        outcome = self.run_program(program)  # no server: the port is closed
        self.assertEqual(outcome.exit_code, 2, outcome.log)
        self.assertEqual([(b.owner, b.text) for b in outcome.boxes], [(WINDOW_CLASS, TOOL_FAILED)])

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

    def test_dlls_planted_beside_the_program_are_not_loaded(self):
        # Control first: a 32-bit program with the default search does load one.
        loader = self.scenario.install_program("downloads", "plain_loader.exe",
                                               source=os.path.join(X86_BIN, "plain_loader.exe"))
        self.scenario.plant("downloads", PLANTED, X86_BIN)
        control = self.scenario.run(quote(loader), timeout=TIMEOUT, linux_env=NATIVE_FIRST)
        self.assertEqual(self.scenario.loaded_markers("downloads"), ["urlmon.dll.loaded"], control.log)
        self.assertEqual(control.exit_code, 0x7A)
        os.remove(os.path.join(self.scenario.root, "downloads", "urlmon.dll.loaded"))

        program = self.install(folder="downloads")
        record = self.scenario.expect_standin(TOOL_X64, 0)
        self.serve(PORT, {"/" + TOOL_X64: Payload(standin_bytes())})
        outcome = self.run_program(program, linux_env=NATIVE_FIRST)
        self.assertEqual(self.scenario.loaded_markers("downloads"), [], outcome.log)
        self.assert_tool_ran(outcome, record)


if __name__ == "__main__":
    unittest.main(verbosity=2)
