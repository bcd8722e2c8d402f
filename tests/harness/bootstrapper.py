"""One run of the real bootstrapper under Wine, watched by driver.exe."""

import contextlib
import dataclasses
import os
import shutil
import subprocess
import tempfile
import time
import unittest

from harness import runtime_build, wine
from harness.certificates import make_code_signing, sign
from harness.http_server import DownloadServer, Payload

CAPTION = "赤砂回廊文件修复"
WINDOW_CLASS = "VandrelRepairBootstrapperWindow"
TOOL_X86 = "Vandrel_Client_Repair_Tool_net8_x86.exe"
TOOL_X64 = "Vandrel_Client_Repair_Tool_net8.exe"
INSTALLER_X86 = runtime_build.INSTALLER_X86
INSTALLER_X64 = runtime_build.INSTALLER_X64
STANDIN = os.path.join(wine.BIN_DIR, "standin.exe")
DOS_STUB_BYTE = 0x60  # inside "This program cannot be run in DOS mode", covered by the digest


@dataclasses.dataclass
class Box:
    owner: str
    icon: str
    text: str


@dataclasses.dataclass
class WindowState:
    caption: str
    x: int
    y: int
    width: int
    height: int
    enabled: bool
    position: int
    marquee: bool
    status: str
    detail: str


@dataclasses.dataclass
class Responsiveness:
    looks: int
    hung: int
    unanswered: int
    longest_answer_ms: int


@dataclasses.dataclass
class Outcome:
    exit_code: int | None
    boxes: list
    windows: list
    timed_out: bool
    log: str
    responsiveness: Responsiveness | None = None
    seconds: float = 0.0
    controls: list = dataclasses.field(default_factory=list)  # each: [(x, y, width, height)] top to bottom
    client: tuple | None = None  # the client area's screen origin when the controls were last recorded
    modules: list = dataclasses.field(default_factory=list)  # the comctl32 files the program had loaded


def parse(log):
    exit_code, boxes, windows, timed_out, responsiveness, controls, modules = None, [], [], False, None, [], []
    client = None
    for line in log.splitlines():
        fields = line.split("\t")
        if fields[0] == "module":
            modules.append(fields[1])
        elif fields[0] == "controls":
            client = tuple(int(n) for n in fields[1].split(","))
            controls.append([tuple(int(n) for n in f.split(",")) for f in fields[2:]])
        elif fields[0] == "responsive":
            responsiveness = Responsiveness(*(int(f) for f in fields[1:5]))
        elif fields[0] == "exit":
            exit_code = int(fields[1])
        elif fields[0] == "box":
            boxes.append(Box(fields[1], fields[2], "\t".join(fields[3:])))
        elif fields[0] == "window" and len(fields) >= 11:
            windows.append(WindowState(fields[1], int(fields[2]), int(fields[3]), int(fields[4]),
                                       int(fields[5]), fields[6] == "1", int(fields[7]), fields[8] == "1",
                                       fields[9], "\t".join(fields[10:])))
        elif fields[0] == "timeout":
            timed_out = True
    return Outcome(exit_code, boxes, windows, timed_out, log, responsiveness, controls=controls, modules=modules,
                   client=client)


def quote(value):
    """Command-line quoting by the CommandLineToArgvW rules, for building the
    test's own command lines independently of the program's Quote."""
    out, slashes = '"', 0
    for ch in value:
        if ch == "\\":
            slashes += 1
            continue
        out += "\\" * (slashes * 2 + 1 if ch == '"' else slashes) + ch
        slashes = 0
    return out + "\\" * (slashes * 2) + '"'


WORK_FOLDER = "VandrelRepair"
# The store's folder name for the Common Controls 6 assembly under Wine 8, as
# a .local folder would hold it (on Windows: ..._6.0.<build>_none_<hash>).
COMMON_CONTROLS_FOLDER = "x86_microsoft.windows.common-controls_6595b64144ccf1df_6.0.2600.2982_none_deadbeef"


def clear_work_folders():
    """Removes the work folder under the prefix's ProgramData, and any that
    runs moved aside or made in its place (VandrelRepair-...)."""
    data = wine.drive_c("ProgramData")
    for name in os.listdir(data) if os.path.isdir(data) else []:
        if name == WORK_FOLDER or name.startswith(WORK_FOLDER + "-"):
            path = os.path.join(data, name)
            if os.path.isdir(path) and not os.path.islink(path):
                shutil.rmtree(path, ignore_errors=True)
            else:
                os.remove(path)


class Scenario:
    """A scratch folder on drive C: holding the program, and a folder for the
    records and configs of the stand-ins; removed at the end. The program's
    work folder is always C:\\ProgramData\\VandrelRepair, emptied for each."""

    def __init__(self, name):
        self.root = wine.drive_c("e2e", name)
        shutil.rmtree(self.root, ignore_errors=True)
        os.makedirs(self.root)
        clear_work_folders()
        self.work_dir = wine.drive_c("ProgramData", WORK_FOLDER)
        self.records = tempfile.mkdtemp(prefix="e2e-records-")
        # Where the stand-ins find their configs: the program hands its
        # children none of its environment, and its work folder holds only
        # its downloads.
        self.configs = wine.drive_c("standin")
        shutil.rmtree(self.configs, ignore_errors=True)
        os.makedirs(self.configs)
        self.name = name

    def fresh_work_directory(self):
        """Takes away what earlier runs left in the work folder. Done from
        Linux, as Wine can keep a file that a program has just ended with
        busy for a moment."""
        clear_work_folders()

    def close(self):
        for holder in getattr(self, "holders", []):
            holder.terminate()
            holder.wait()
        shutil.rmtree(self.root, ignore_errors=True)
        clear_work_folders()
        shutil.rmtree(self.records, ignore_errors=True)
        shutil.rmtree(self.configs, ignore_errors=True)

    def install_program(self, folder="bin", name="修复工具.exe", source=None):
        """Copies the bootstrapper into a folder of the scenario; returns its Windows path."""
        directory = os.path.join(self.root, *folder.split("\\"))
        os.makedirs(directory, exist_ok=True)
        shutil.copy(source or os.environ["REPAIR_BOOTSTRAPPER"], os.path.join(directory, name))
        return "C:\\e2e\\" + os.path.basename(self.root) + "\\" + folder + "\\" + name

    def expect_standin(self, file_name, exit_code, sleep_ms=0, leave=None, until=None):
        """Prepares the config the stand-in will find once it is downloaded
        under file_name; with leave, it writes a file of that name where it
        is started; with until (a Linux path), it runs until that file
        exists. Returns its record path."""
        record = os.path.join(self.records, file_name + ".txt")
        with open(os.path.join(self.configs, file_name + ".cfg"), "w", encoding="utf-8") as f:
            f.write(f"exit={exit_code}\nrecord={wine.to_windows(record)}\nsleep={sleep_ms}\n")
            if leave:
                f.write(f"leave={leave}\n")
            if until:
                f.write(f"waitfor={wine.to_windows(until)}\n")
        return record

    def start(self, command_line, timeout=60, close_window=False, probe_hang=False, env=None, linux_env=None,
              desktop=None):
        """Starts the program under the driver; wait() on the result gives its Outcome.
        desktop (width, height): on a virtual desktop of its own of that size."""
        self.runs = getattr(self, "runs", 0) + 1
        out = os.path.join(self.records, f"driver{self.runs}.txt")
        cmdfile = os.path.join(self.records, f"cmdline{self.runs}.txt")
        with open(cmdfile, "w", encoding="utf-8") as f:
            f.write(command_line)
        args = [os.path.join(wine.BIN_DIR, "driver.exe"), "--out", wine.to_windows(out),
                "--cmdfile", wine.to_windows(cmdfile), "--timeout", str(timeout * 1000)]
        for name, value in (env or {}).items():
            args += ["--env", f"{name}={value}"]
        if close_window:
            args.append("--close-window")
        if probe_hang:
            args.append("--probe-hang")
        if desktop:
            args = ["explorer", f"/desktop=repair-{self.runs},{desktop[0]}x{desktop[1]}", *args]
        return DriverRun(wine.start(args, timeout=timeout + 30, extra_env=linux_env), out)

    def run(self, command_line, **kwargs):
        return self.start(command_line, **kwargs).wait()

    def plant(self, folder, names, source_dir=None):
        """Copies the planted DLL of the test build (or of source_dir) into a
        folder of the scenario under each of names."""
        directory = os.path.join(self.root, folder)
        os.makedirs(directory, exist_ok=True)
        for name in names:
            shutil.copy(os.path.join(source_dir or wine.BIN_DIR, "planted_dll.dll"), os.path.join(directory, name))

    def plant_manifest(self, folder, program, names=("urlmon.dll", "wininet.dll", "comctl32.dll")):
        """Puts PROGRAM.manifest beside a program, naming each of names as a
        file of the program's own assembly: a program that embeds no manifest
        then loads those DLLs from its own folder, before any search rule."""
        files = "".join(f'<file name="{name}"/>' for name in names)
        with open(os.path.join(self.root, folder, program + ".manifest"), "w", encoding="utf-8") as f:
            f.write('<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">'
                    '<assemblyIdentity type="win32" name="Planted.Program" version="1.0.0.0"/>' + files + "</assembly>")

    def plant_private_assembly(self, folder, source_dir=None):
        """Puts a private Common Controls 6 assembly beside the programs of a
        folder: its manifest, under the name the loader looks for, and the
        planted DLL as its comctl32.dll. A program whose manifest depends on
        that assembly takes it when the system's store has no copy (see
        hidden_store_common_controls)."""
        with open(os.path.join(self.root, folder, "Microsoft.Windows.Common-Controls.manifest"), "w",
                  encoding="utf-8") as f:
            f.write('<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">'
                    '<assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls" version="6.0.0.0" '
                    'processorArchitecture="x86" publicKeyToken="6595b64144ccf1df" language="*"/>'
                    '<file name="comctl32.dll"/></assembly>')
        self.plant(folder, ("comctl32.dll",), source_dir)

    def loaded_markers(self, folder):
        """The planted DLLs that were loaded: each leaves NAME.loaded beside it."""
        return sorted(n for n in os.listdir(os.path.join(self.root, folder)) if n.endswith(".loaded"))

    def hold_file(self, path, seconds):
        """Keeps a file open without sharing from another Windows process for
        a while, as a scanner does; returns once it is held."""
        ready = os.path.join(self.records, "held")
        if os.path.exists(ready):
            os.remove(ready)
        process = wine.start([os.path.join(wine.BIN_DIR, "hold_file.exe"), wine.to_windows(path),
                              str(int(seconds * 1000)), wine.to_windows(ready)], timeout=seconds + 30)
        deadline = time.monotonic() + 30
        while not os.path.exists(ready) and time.monotonic() < deadline:
            time.sleep(0.05)
        self.holders = getattr(self, "holders", []) + [process]
        return process


@contextlib.contextmanager
def hidden_store_common_controls():
    """Hides the prefix's own x86 Common Controls 6 manifest, as a Windows
    whose store lacks the version asked for (or a .config that redirects to
    one it lacks, which Wine does not read): the loader then looks beside
    the program. Put back afterwards."""
    manifests = wine.drive_c("windows", "winsxs", "manifests")
    hidden = [os.path.join(manifests, n) for n in os.listdir(manifests)
              if n.startswith("x86_microsoft.windows.common-controls_") and n.endswith(".manifest")]
    for path in hidden:
        os.rename(path, path + ".hidden")
    try:
        yield
    finally:
        for path in hidden:
            os.rename(path + ".hidden", path)


class DriverRun:
    """A driver started in the background."""

    def __init__(self, process, out):
        self.process, self.out, self.started = process, out, time.monotonic()

    def wait(self):
        self.process.wait()
        seconds = time.monotonic() - self.started
        with open(self.out, encoding="utf-8") as f:
            outcome = parse(f.read())
        outcome.seconds = seconds
        return outcome


def read_record(path):
    """(command line, arguments, start-up flags) that a stand-in recorded."""
    started = read_start(path)
    return started and (started.command_line, started.args, started.flags)


@dataclasses.dataclass
class Start:
    command_line: str | None = None
    args: list = dataclasses.field(default_factory=list)
    flags: dict = dataclasses.field(default_factory=dict)
    directory: str | None = None
    environment: dict = dataclasses.field(default_factory=dict)  # upper-case name -> value
    temp_exists: bool = False  # whether its TEMP named a folder when it started


def read_start(path):
    """Everything a stand-in recorded of how it was started, or None."""
    if not os.path.exists(path):
        return None
    start = Start()
    with open(path, encoding="utf-8") as f:
        for line in f.read().split("\n"):
            key, _, value = line.partition("\t")
            if key == "commandline":
                start.command_line = value
            elif key == "arg":
                start.args.append(value)
            elif key in ("flags", "show"):
                start.flags[key] = int(value)
            elif key == "cwd":
                start.directory = value
            elif key == "tempexists":
                start.temp_exists = value == "1"
            elif key == "env":
                name, _, setting = value.partition("=")
                start.environment[name.upper()] = setting
    return start


def standin_bytes():
    with open(STANDIN, "rb") as f:
        return f.read()


def signed_standins(directory, large_mib=0):
    """The stand-in as the signature tests serve it: "unsigned", signed by the
    publisher the signed build requires, by "other", and "changed" after it
    was signed; with large_mib, also "large", padded to that size, then
    signed by the publisher. The signing CA is trusted in the prefix first."""
    pairs, ca = make_code_signing(directory, os.environ["REPAIR_TEST_PUBLISHER"])
    status, output = wine.run([os.path.join(wine.BIN_DIR, "trust_ca.exe"), wine.to_windows(ca)])
    if status != 0:
        raise RuntimeError("could not trust the signing CA: " + output)
    variants = {"unsigned": standin_bytes()}
    sources = {name: (STANDIN, pair) for name, pair in pairs.items()}
    if large_mib:
        padded = os.path.join(directory, "standin-padded.exe")
        with open(padded, "wb") as f:
            f.write(standin_bytes().ljust(large_mib * 1024 * 1024, b"\0"))
        sources["large"] = (padded, pairs["publisher"])
    for name, (source, (certificate, key)) in sources.items():
        target = os.path.join(directory, f"standin-{name}.exe")
        sign(source, target, certificate, key)
        with open(target, "rb") as f:
            variants[name] = f.read()
    changed = bytearray(variants["publisher"])
    changed[DOS_STUB_BYTE] ^= 0x01
    variants["changed"] = bytes(changed)
    return variants


RUNTIME_SIGNING = os.environ.get("REPAIR_TEST_RUNTIME_SIGNING", "")


def pinned_standin(arch):
    """The stand-in the pinned build pins for arch ("x64" or "x86"): signed
    by a certificate named .NET, organisation Microsoft Corporation, from
    the build's throwaway runtime root."""
    with open(os.path.join(os.environ["REPAIR_X86_BUILD"], "bin", f"standin-dotnet-{arch}.exe"), "rb") as f:
        return f.read()


def runtime_signed_standins(directory, large_mib=0):
    """The stand-in signed as .NET's own files are ("root": a certificate
    named .NET from the runtime root that the signed build allows, which the
    prefix is made to trust; "elsewhere": the same name from another root
    that the machine trusts too); with large_mib, also "large", padded to
    that size, then signed as "root" is."""
    trust = os.path.join(wine.BIN_DIR, "trust_ca.exe")
    pairs, ca = make_code_signing(os.path.join(directory, "elsewhere"), ".NET")
    for root in (os.path.join(RUNTIME_SIGNING, "root.der"), ca):
        status, output = wine.run([trust, wine.to_windows(root)])
        if status != 0:
            raise RuntimeError("could not trust a runtime test root: " + output)
    dotnet = (os.path.join(RUNTIME_SIGNING, "dotnet.pem"), os.path.join(RUNTIME_SIGNING, "dotnet.key"))
    sources = {"root": (STANDIN, dotnet), "elsewhere": (STANDIN, pairs["publisher"])}
    if large_mib:
        sources["large"] = (os.path.join(directory, "standin-padded.exe"), dotnet)
        with open(sources["large"][0], "wb") as f:
            f.write(standin_bytes().ljust(large_mib * 1024 * 1024, b"\0"))
    variants = {}
    for name, (source, (certificate, key)) in sources.items():
        target = os.path.join(directory, f"standin-{name}.exe")
        sign(source, target, certificate, key)
        with open(target, "rb") as f:
            variants[name] = f.read()
    return variants


# What malware in the player's own session can make the elevated copy
# inherit: .NET's profiler, startup-hook and host-root variables, a PATH
# entry that both children would search for DLLs, and a Windows folder of
# its own against which the machine's values would be expanded.
PLANTED = "C:\\planted"
PLAYER_ENVIRONMENT = {
    "SystemRoot": PLANTED,
    "windir": PLANTED,
    **{name: "1" for name in ("COR_ENABLE_PROFILING", "CORECLR_ENABLE_PROFILING")},
    **{name: "{11111111-2222-3333-4444-555555555555}" for name in ("COR_PROFILER", "CORECLR_PROFILER")},
    **{name: PLANTED + "\\profiler.dll" for name in ("COR_PROFILER_PATH", "COR_PROFILER_PATH_32",
                                                      "COR_PROFILER_PATH_64", "CORECLR_PROFILER_PATH",
                                                      "CORECLR_PROFILER_PATH_32", "CORECLR_PROFILER_PATH_64")},
    "DOTNET_STARTUP_HOOKS": PLANTED + "\\hook.dll",
    **{name: PLANTED for name in ("DOTNET_ROOT", "DOTNET_ROOT_X64", "DOTNET_ROOT(x86)")},
    "PATH": PLANTED + ";C:\\windows\\system32;C:\\windows",
}


# Where a machine PATH entry that any user may change is planted.
PLANTED_MACHINE = "C:\\planted-machine"
MACHINE_ENVIRONMENT_KEY = r"HKLM\System\CurrentControlSet\Control\Session Manager\Environment"
SYSTEM_PATH = ["c:\\windows\\system32", "c:\\windows", "c:\\windows\\system32\\wbem",
               "c:\\windows\\system32\\windowspowershell\\v1.0"]  # as compared: in lower case


@contextlib.contextmanager
def planted_machine_path():
    """Puts PLANTED_MACHINE first in the machine's PATH, as an installer that
    made a folder at the root of C: does, and restores the value after."""
    status, output = wine.run(["reg", "query", MACHINE_ENVIRONMENT_KEY, "/v", "PATH"])
    fields = next((line.split(None, 2) for line in output.splitlines() if line.strip().upper().startswith("PATH")), None)
    if status != 0 or not fields or len(fields) < 3:
        raise RuntimeError("the machine's PATH could not be read: " + output)
    kind, value = fields[1], fields[2].strip()
    wine.run(["reg", "add", MACHINE_ENVIRONMENT_KEY, "/v", "PATH", "/t", kind, "/d", PLANTED_MACHINE + ";" + value,
              "/f"])
    try:
        yield
    finally:
        wine.run(["reg", "add", MACHINE_ENVIRONMENT_KEY, "/v", "PATH", "/t", kind, "/d", value, "/f"])


def assert_started_clean(test, record, work_dir="C:\\ProgramData\\VandrelRepair"):
    """The stand-in that wrote record saw none of PLAYER_ENVIRONMENT or
    PLANTED_MACHINE, found the system's own folders, a PATH of them only and a
    temp folder of its own inside the work folder, and started there."""
    started = read_start(record)
    test.assertIsNotNone(started, "it ran")
    test.assertEqual(started.directory.lower(), (work_dir + "\\temp").lower(), "started in its own temp folder")
    for name in PLAYER_ENVIRONMENT:
        if name not in ("PATH", "SystemRoot", "windir"):
            test.assertNotIn(name.upper(), started.environment, f"{name} reached an elevated child")
    # C:\planted-machine begins with C:\planted: neither may appear anywhere.
    test.assertNotIn(PLANTED.lower(), str(started.environment).lower(), "no planted value of the player or the machine")
    environment = started.environment
    test.assertEqual((environment.get("SYSTEMROOT", "").lower(), environment.get("WINDIR", "").lower(),
                      environment.get("SYSTEMDRIVE")), ("c:\\windows", "c:\\windows", "C:"))
    test.assertEqual([p.lower() for p in environment.get("PATH", "").split(";")], SYSTEM_PATH)
    temp = work_dir + "\\temp"
    test.assertEqual((environment.get("TEMP", "").lower(), environment.get("TMP", "").lower()),
                     (temp.lower(), temp.lower()))
    test.assertTrue(started.temp_exists, "its temp folder was there when it started")


@contextlib.contextmanager
def small_program_data(test, size="1m"):
    """Puts the prefix's ProgramData, and so the work folder, on a tmpfs of
    the given size holding what it held: a nearly full disk. Needs root;
    skips the test with a message where mounting is refused. Unmounted
    afterwards whatever happens."""
    data = wine.drive_c("ProgramData")
    held = tempfile.mkdtemp(prefix="programdata-")
    shutil.copytree(data, held, dirs_exist_ok=True, symlinks=True)
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size}", "tmpfs", data],
                             stdin=subprocess.DEVNULL, capture_output=True, text=True, check=False)
    if mounted.returncode != 0:
        shutil.rmtree(held, ignore_errors=True)
        test.skipTest("a small disk needs a tmpfs, and mount was refused: " + mounted.stderr.strip())
    try:
        shutil.copytree(held, data, dirs_exist_ok=True, symlinks=True)
        yield data
    finally:
        # Lazily, should a Wine process still hold something in it.
        subprocess.run(["umount", "-l", data], stdin=subprocess.DEVNULL, capture_output=True, check=False)
        shutil.rmtree(held, ignore_errors=True)


RUNTIME_DIR = ("Program Files", "dotnet", "shared", "Microsoft.WindowsDesktop.App", runtime_build.VERSION)


def set_runtime_on_disk(present):
    """Puts a Desktop Runtime 8 version folder under C:\\Program Files, where
    the program looks on either Windows (the Program Files folder that the
    machine's registry names: the only one on 32-bit Windows, the 64-bit
    view's under WOW64), or takes it away."""
    path = wine.drive_c(*RUNTIME_DIR)
    if present:
        os.makedirs(path, exist_ok=True)
    else:
        shutil.rmtree(wine.drive_c(*RUNTIME_DIR[:3]), ignore_errors=True)


class ScenarioTest(unittest.TestCase):
    """Each test gets its own Scenario, named after it; the runtime is on disk
    unless a test takes it away. Servers started with serve() stop at the end."""

    def setUp(self):
        set_runtime_on_disk(True)
        self.scenario = Scenario(self.id().rsplit(".", 1)[-1])
        self.addCleanup(self.scenario.close)

    def serve(self, port, files, **kwargs):
        server = DownloadServer(port, files, **kwargs)
        server.__enter__()
        self.addCleanup(server.stop)
        return server

    def check_redirection_folder_refused(self, program_source, dll_source_dir, tool, port, timeout=60):
        """A <program>.local folder, in another letter case, holding a Common
        Controls assembly folder with a DLL, ends the run with 2 before any
        window, request or child. Without it, a run holds the name: a folder
        of that name cannot be made beside the program while it lasts."""
        folder = "redirected"
        program = self.scenario.install_program(folder, source=program_source)
        assembly = os.path.join(self.scenario.root, folder, "修复工具.EXE.LOCAL", COMMON_CONTROLS_FOLDER)
        os.makedirs(assembly)
        self.scenario.plant(os.path.join(folder, "修复工具.EXE.LOCAL", COMMON_CONTROLS_FOLDER), ("comctl32.dll",),
                            dll_source_dir)
        record = self.scenario.expect_standin(tool, 0)
        server = self.serve(port, {"/" + tool: Payload(standin_bytes())})
        env = {"WINEDLLOVERRIDES": "comctl32=n,b;mscoree,mshtml="}
        outcome = self.scenario.run(quote(program) + " --client-dir D:\\Games", timeout=timeout, linux_env=env)
        self.assertEqual(outcome.exit_code, 2, outcome.log)
        self.assertEqual((outcome.boxes, outcome.windows), ([], []), "no message box, no window")
        self.assertEqual(server.requests, [], "nothing downloaded")
        self.assertIsNone(read_record(record), "nothing started")

        shutil.rmtree(os.path.dirname(assembly))
        release = os.path.join(self.scenario.records, "release-the-tool")
        record = self.scenario.expect_standin(tool, 0, until=release)
        windows_folder = program.rsplit("\\", 1)[0]
        self.assertEqual(wine.run(["cmd", "/c", "mkdir", windows_folder + "\\修复工具.exe.local"])[0], 0,
                         "the control: without a run, the folder can be made")
        os.rmdir(os.path.join(self.scenario.root, folder, "修复工具.exe.local"))
        run = self.scenario.start(quote(program) + " --client-dir D:\\Games", timeout=timeout)
        deadline = time.monotonic() + timeout
        while read_record(record) is None and time.monotonic() < deadline:
            time.sleep(0.1)
        made = [wine.run(["cmd", "/c", "mkdir", windows_folder + "\\" + name])[0]
                for name in ("修复工具.exe.local", "修复工具.EXE.LOCAL")]
        with open(release, "w", encoding="utf-8"):
            pass
        outcome = run.wait()
        self.assertEqual(outcome.exit_code, 0, outcome.log)
        self.assertIsNotNone(read_record(record), "the tool ran")
        self.assertNotIn(0, made, "a folder of the name was made during the run")
        left = os.listdir(os.path.join(self.scenario.root, folder))
        self.assertEqual([n for n in left if n.lower().endswith(".local")], [], "the hold is gone with the run")

    def check_what_the_tool_leaves_stays_out_of_the_downloads(self, program, tool, port, timeout=60):
        """A tool that writes a log where it is started, run twice: no work
        folder, moved aside or not, holds the log among the downloads. (Under
        Wine every run after the first moves the folder aside anyway: it reads
        back no owner or protected list; so the folders are judged by what
        they hold, not by how many there are.)"""
        self.serve(port, {"/" + tool: Payload(standin_bytes())})
        for _ in range(2):
            record = self.scenario.expect_standin(tool, 0, leave="repair.log")
            outcome = self.scenario.run(quote(program) + " --client-dir D:\\Games", timeout=timeout)
            self.assertEqual(outcome.exit_code, 0, outcome.log)
            os.remove(record)
        data = wine.drive_c("ProgramData")
        folders = [os.path.join(data, n) for n in os.listdir(data) if n.startswith(WORK_FOLDER)]
        self.assertTrue(folders)
        for folder in folders:
            self.assertNotIn("repair.log", os.listdir(folder), folder)
        self.assertIn("repair.log", os.listdir(os.path.join(self.scenario.work_dir, "temp")), "left in its own folder")

    def check_runs_from_the_drive_root(self, program_source, tool, port, timeout=60):
        """The program at C:\\, where the system's store lies below its folder, runs as anywhere."""
        target = wine.drive_c("修复工具.exe")
        shutil.copy(program_source, target)
        self.addCleanup(os.remove, target)
        record = self.scenario.expect_standin(tool, 0)
        self.serve(port, {"/" + tool: Payload(standin_bytes())})
        outcome = self.scenario.run(quote("C:\\修复工具.exe") + " --client-dir D:\\Games", timeout=timeout)
        self.assertEqual(outcome.exit_code, 0, outcome.log)
        self.assertEqual(outcome.boxes, [])
        self.assertIsNotNone(read_record(record), "the tool ran")

    def check_private_assembly_refused(self, program_source, probe_source, tool, port, timeout=60):
        """A private Common Controls assembly planted in the program's folder
        ends the run with 2 before any window, request or child. The probe,
        hardened alike, shows first what the real query reports for a normal
        start, and then that the planted assembly does load into it."""
        folder = "private-assembly"
        program = self.scenario.install_program(folder, source=program_source)
        probe = self.scenario.install_program(folder, "manifest_probe.exe", source=probe_source)
        report = os.path.join(self.scenario.records, "context.txt")
        env = {"WINEDLLOVERRIDES": "comctl32=n,b;mscoree,mshtml="}

        def probe_run():
            outcome = self.scenario.run(quote(probe) + " " + quote(wine.to_windows(report)), timeout=timeout,
                                        linux_env=env)
            with open(report, encoding="utf-8") as f:
                lines = [line.split("\t") for line in f.read().splitlines()]
            return outcome, [line[1] for line in lines if line[0] == "assembly"], ["verdict", "1"] in lines

        normal, assemblies, verdict = probe_run()
        self.assertEqual(normal.exit_code, 0, normal.log)
        self.assertTrue(verdict, assemblies)
        self.assertIn("\\winsxs\\", assemblies[1].lower(), "the store's manifest")

        self.scenario.plant_private_assembly(folder, os.path.dirname(probe_source))  # a DLL of the probe's bits
        record = self.scenario.expect_standin(tool, 0)
        server = self.serve(port, {"/" + tool: Payload(standin_bytes())})
        with hidden_store_common_controls():
            control, assemblies, verdict = probe_run()
            self.assertEqual(self.scenario.loaded_markers(folder), ["comctl32.dll.loaded"], control.log)
            self.assertEqual(control.exit_code, 0x7A, "the control loads the planted DLL")
            self.assertFalse(verdict, assemblies)
            os.remove(os.path.join(self.scenario.root, folder, "comctl32.dll.loaded"))

            outcome = self.scenario.run(quote(program) + " --client-dir D:\\Games", timeout=timeout, linux_env=env)
        self.assertEqual(self.scenario.loaded_markers(folder), [], outcome.log)
        self.assertEqual(outcome.exit_code, 2, outcome.log)
        self.assertEqual((outcome.boxes, outcome.windows), ([], []), "no message box, no window")
        self.assertEqual(server.requests, [], "nothing downloaded")
        self.assertIsNone(read_record(record), "nothing started")
