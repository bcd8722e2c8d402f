"""Inspects the shipped 32-bit artefact: what it is, what it loads, what it carries."""

import os
import struct
import sys
import unittest
import xml.etree.ElementTree as ElementTree

import pefile

from harness import runtime_build

ARTEFACT = os.environ.get("REPAIR_ARTEFACT", "")
CAPTION = "赤砂回廊文件修复"
FILE_NAME = "修复工具.exe"

# DLLs every supported Windows release has in System32. msvcrt.dll is the
# system C runtime that mingw-w64 links against.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll",
    "shlwapi.dll", "comctl32.dll", "urlmon.dll", "wininet.dll", "ole32.dll",
    "oleaut32.dll", "msvcrt.dll", "crypt32.dll", "wintrust.dll",
}
LATE_BOUND = ("urlmon.dll", "wininet.dll", "comctl32.dll", "wintrust.dll", "crypt32.dll")

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
LANG_EN_US = 0x0409


def load():
    if not os.path.isfile(ARTEFACT):
        raise unittest.SkipTest(f"no artefact at {ARTEFACT!r}; build the windows-x86 preset first")
    return pefile.PE(ARTEFACT)


def imported_dlls(pe):
    names = {}
    for attr in ("DIRECTORY_ENTRY_IMPORT", "DIRECTORY_ENTRY_DELAY_IMPORT"):
        for entry in getattr(pe, attr, []):
            names.setdefault(entry.dll.decode().lower(), []).extend(
                imp.name.decode() for imp in entry.imports if imp.name)
    return names


def resources(pe, type_id):
    """(name id, language, data) of every resource of one type."""
    out = []
    directory = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for rtype in directory.entries if directory else []:
        if rtype.id != type_id:
            continue
        for name in rtype.directory.entries:
            for lang in name.directory.entries:
                rva, size = lang.data.struct.OffsetToData, lang.data.struct.Size
                out.append((name.id, lang.id, pe.get_data(rva, size)))
    return out


class ArtefactTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = load()
        print(f"artefact {os.path.basename(ARTEFACT)}: {os.path.getsize(ARTEFACT)} bytes", file=sys.stderr)

    def test_is_a_32bit_windows_gui_program(self):
        self.assertEqual(self.pe.OPTIONAL_HEADER.Magic, 0x10B, "PE32")
        self.assertEqual(self.pe.FILE_HEADER.Machine, 0x14C, "i386")
        self.assertEqual(self.pe.OPTIONAL_HEADER.Subsystem, 2, "Windows GUI")

    def test_imports_only_windows_own_dlls(self):
        dlls = imported_dlls(self.pe)
        self.assertTrue(dlls)
        self.assertEqual(set(dlls) - SYSTEM_DLLS, set(), "a DLL that Windows does not ship")

    def test_dlls_outside_knowndlls_are_loaded_by_the_program(self):
        # The program loads them itself from System32, after restricting the
        # DLL search; a static import would be resolved from its own folder
        # before its first line runs. No delay-import either: i686 delay-import
        # libraries of this toolchain leave their slots empty, and the first
        # call jumps to address 0.
        static = {entry.dll.decode().lower() for entry in getattr(self.pe, "DIRECTORY_ENTRY_IMPORT", [])}
        for dll in LATE_BOUND + ("version.dll",):
            self.assertNotIn(dll, static)
        self.assertEqual(getattr(self.pe, "DIRECTORY_ENTRY_DELAY_IMPORT", []), [])
        with open(ARTEFACT, "rb") as f:
            image = f.read().lower()
        for dll in LATE_BOUND:
            self.assertIn(dll.encode("utf-16-le"), image, "named for LoadLibraryExW")

    def test_it_pins_microsofts_installers_of_the_tables_build_and_allows_microsofts_roots(self):
        # The cache says which pin went to which variant; the file, that
        # each reached the program.
        cache = os.path.join(os.path.dirname(ARTEFACT), "CMakeCache.txt")
        settings = {}
        with open(cache, encoding="utf-8") as f:
            for line in f.read().splitlines():
                name, _, typed = line.partition(":")
                settings[name] = typed.partition("=")[2]
        self.assertEqual((settings.get("REPAIR_RUNTIME_SHA512_X64"), settings.get("REPAIR_RUNTIME_SHA512_X86")),
                         (runtime_build.SHA512_X64, runtime_build.SHA512_X86))
        self.assertEqual(settings.get("REPAIR_RUNTIME_ROOTS"), runtime_build.MICROSOFT_ROOTS)
        with open(ARTEFACT, "rb") as f:
            image = f.read()
        for value in (runtime_build.SHA512_X64, runtime_build.SHA512_X86, runtime_build.MICROSOFT_ROOTS,
                      runtime_build.INSTALLER_X64, runtime_build.INSTALLER_X86):
            self.assertIn(value.encode("utf-16-le"), image, value)

    def test_iswow64process_is_looked_up_not_imported(self):
        for dll, names in imported_dlls(self.pe).items():
            self.assertNotIn("IsWow64Process", names, dll)

    def test_its_own_manifest_runs_it_as_invoker_with_common_controls_6(self):
        # Id 1 is the one Windows reads when it creates the process; with it,
        # a manifest planted beside the file is never read.
        manifests = resources(self.pe, RT_MANIFEST)
        self.assertEqual([(name, lang) for name, lang, _ in manifests], [(1, LANG_EN_US)])
        root = ElementTree.fromstring(manifests[0][2])
        level = root.find(".//{urn:schemas-microsoft-com:asm.v3}requestedExecutionLevel")
        self.assertEqual((level.get("level"), level.get("uiAccess")), ("asInvoker", "false"))
        dependencies = [(a.get("name"), a.get("version"), a.get("publicKeyToken"), a.get("processorArchitecture"))
                        for a in root.iterfind("{*}dependency/{*}dependentAssembly/{*}assemblyIdentity")]
        self.assertEqual(dependencies, [("Microsoft.Windows.Common-Controls", "6.0.0.0", "6595b64144ccf1df", "*")])

    def test_version_block(self):
        self.pe.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
        fixed = self.pe.VS_FIXEDFILEINFO[0]
        version = (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
                   fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF)
        self.assertEqual(version, (1, 0, 3, 0))
        self.assertEqual((fixed.ProductVersionMS, fixed.ProductVersionLS),
                         (fixed.FileVersionMS, fixed.FileVersionLS))
        self.assertEqual(fixed.FileType, 1, "VFT_APP")
        self.assertEqual(fixed.FileOS, 0x40004, "VOS_NT_WINDOWS32")

        tables, translations = {}, []
        for info in self.pe.FileInfo[0]:
            if info.Key == b"StringFileInfo":
                for table in info.StringTable:
                    tables[table.LangID.decode()] = {k.decode(): v.decode() for k, v in table.entries.items()}
            elif info.Key == b"VarFileInfo":
                for var in info.Var:
                    translations.append(var.entry[b"Translation"])
        self.assertEqual(list(tables), ["080404b0"] if "080404b0" in tables else ["080404B0"])
        strings = next(iter(tables.values()))
        self.assertEqual(strings["FileDescription"], CAPTION)
        self.assertEqual(strings["ProductName"], CAPTION)
        self.assertEqual(strings["InternalName"], FILE_NAME)
        self.assertEqual(strings["OriginalFilename"], FILE_NAME)
        self.assertEqual(strings["FileVersion"], "1.0.3.0")
        self.assertEqual(strings["ProductVersion"], "1.0.3.0")
        self.assertTrue(strings.get("CompanyName"))
        self.assertEqual(translations, ["0x0804 0x04b0"])

    def test_resources_are_filed_under_english_us(self):
        for type_id in (RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST):
            found = resources(self.pe, type_id)
            self.assertTrue(found, type_id)
            self.assertEqual({lang for _, lang, _ in found}, {LANG_EN_US}, type_id)

    def test_icon_group_101_has_48_32_16_in_32bit_colour(self):
        groups = {name: data for name, _, data in resources(self.pe, RT_GROUP_ICON)}
        self.assertIn(101, groups)
        data = groups[101]
        _, kind, count = struct.unpack_from("<HHH", data, 0)
        self.assertEqual(kind, 1)
        images = {name: blob for name, _, blob in resources(self.pe, RT_ICON)}
        sizes = []
        for i in range(count):
            width, height, _, _, _, bits, _, icon_id = struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i)
            self.assertEqual(bits, 32)
            header = struct.unpack_from("<IiiHH", images[icon_id], 0)
            self.assertEqual(header[4], 32, "image data is 32-bit too")
            self.assertEqual(header[1], width)
            sizes.append((width, height))
        self.assertEqual(sorted(sizes, reverse=True), [(48, 48), (32, 32), (16, 16)])


if __name__ == "__main__":
    unittest.main(verbosity=2)
