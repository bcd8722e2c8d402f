#include "runtime/detection.h"

#include <gtest/gtest.h>

#include <map>

namespace repair {
namespace {

const std::wstring kFixed = L"C:\\Program Files\\dotnet\\shared\\Microsoft.WindowsDesktop.App";
const std::wstring kX64Key = L"SOFTWARE\\dotnet\\Setup\\InstalledVersions\\x64\\sharedfx\\Microsoft.WindowsDesktop.App";
const std::wstring kX86Key = L"SOFTWARE\\dotnet\\Setup\\InstalledVersions\\x86\\sharedfx\\Microsoft.WindowsDesktop.App";

class FakeProbe final : public RuntimeProbe {
public:
    WindowsKind kind = WindowsKind::kX64;
    std::map<REGSAM, std::wstring> programFiles;  // view -> ProgramFilesDir
    std::map<std::wstring, DWORD> attributes;
    std::map<std::wstring, std::vector<DWORD>> searches;  // pattern -> matching entries
    std::map<std::wstring, RegistryNames> keys;           // key + view -> names
    std::vector<std::wstring> opened;

    WindowsKind Kind() override { return kind; }
    std::wstring systemDrive = L"C:";
    std::wstring SystemDrive() override { return systemDrive; }
    std::wstring ReadMachineString(const wchar_t* key, const wchar_t* value, REGSAM view) override {
        const auto it = programFiles.find(view);
        return std::wstring(key) == L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion" &&
                       std::wstring(value) == L"ProgramFilesDir" && it != programFiles.end()
                   ? it->second
                   : L"";
    }
    DWORD AttributesOf(const std::wstring& path) override {
        const auto it = attributes.find(path);
        return it == attributes.end() ? INVALID_FILE_ATTRIBUTES : it->second;
    }
    std::vector<DWORD> FindEntries(const std::wstring& pattern) override {
        const auto it = searches.find(pattern);
        return it == searches.end() ? std::vector<DWORD>{} : it->second;
    }
    std::optional<RegistryNames> ReadKeyNames(const wchar_t* key, REGSAM access) override {
        const std::wstring id = std::wstring(key) + L"@" + std::to_wstring(access);
        opened.push_back(id);
        const auto it = keys.find(id);
        return it == keys.end() ? std::nullopt : std::optional<RegistryNames>(it->second);
    }

    void SetProgramFiles(REGSAM view, const std::wstring& value) { programFiles[view] = value; }
    void AddFramework(const std::wstring& directory, std::vector<DWORD> versionEntries) {
        attributes[directory] = FILE_ATTRIBUTE_DIRECTORY;
        searches[directory + L"\\8.*"] = std::move(versionEntries);
    }
    void AddKey(const std::wstring& key, REGSAM access, RegistryNames names) {
        keys[key + L"@" + std::to_wstring(access)] = std::move(names);
    }
};

constexpr DWORD kDir = FILE_ATTRIBUTE_DIRECTORY;
constexpr DWORD kFile = FILE_ATTRIBUTE_ARCHIVE;
constexpr REGSAM k64View = KEY_READ | KEY_WOW64_64KEY;
constexpr REGSAM k32View = KEY_READ | KEY_WOW64_32KEY;

constexpr REGSAM k64 = KEY_WOW64_64KEY;
constexpr REGSAM k32 = KEY_WOW64_32KEY;

TEST(RuntimeCandidates, On64BitWindowsTheMachines64BitFolderThenTheFixedPath) {
    FakeProbe probe;
    probe.SetProgramFiles(k64, L"D:\\Program Files");
    probe.SetProgramFiles(k32, L"E:\\ignored");
    EXPECT_EQ(RuntimeCandidates(probe, WindowsKind::kX64),
              (std::vector<std::wstring>{L"D:\\Program Files\\dotnet\\shared\\Microsoft.WindowsDesktop.App", kFixed}));
    probe.SetProgramFiles(k64, L"C:\\Program Files");
    EXPECT_EQ(RuntimeCandidates(probe, WindowsKind::kX64).size(), 2u) << "the fixed path even when it repeats";
    probe.programFiles.erase(k64);
    EXPECT_EQ(RuntimeCandidates(probe, WindowsKind::kX64), std::vector<std::wstring>{kFixed});
    probe.systemDrive = L"E:";
    EXPECT_EQ(RuntimeCandidates(probe, WindowsKind::kX64),
              std::vector<std::wstring>{L"E:\\Program Files\\dotnet\\shared\\Microsoft.WindowsDesktop.App"})
        << "Windows on E:: a folder any user made on C: counts for nothing";
}

TEST(RuntimeCandidates, OtherwiseOnlyThe32BitViewsFolder) {
    FakeProbe probe;
    probe.SetProgramFiles(k64, L"D:\\ignored");
    EXPECT_TRUE(RuntimeCandidates(probe, WindowsKind::kX86).empty());
    probe.SetProgramFiles(k32, L"C:\\Program Files (x86)");
    EXPECT_EQ(RuntimeCandidates(probe, WindowsKind::kX86),
              std::vector<std::wstring>{L"C:\\Program Files (x86)\\dotnet\\shared\\Microsoft.WindowsDesktop.App"});
}

TEST(DetectDesktopRuntime, AVersion8DirectoryOnDiskAnswersWithoutTheRegistry) {
    FakeProbe probe;
    probe.AddFramework(kFixed, {kDir});
    EXPECT_TRUE(DetectDesktopRuntime(probe));
    EXPECT_TRUE(probe.opened.empty());

    FakeProbe other;
    other.SetProgramFiles(k64, L"D:\\PF");
    other.AddFramework(L"D:\\PF\\dotnet\\shared\\Microsoft.WindowsDesktop.App", {kFile, kDir});
    EXPECT_TRUE(DetectDesktopRuntime(other)) << "another drive, after a file entry";
    EXPECT_TRUE(other.opened.empty());
}

TEST(DetectDesktopRuntime, FilesAndOtherVersionsDoNotCount) {
    FakeProbe probe;
    probe.AddFramework(kFixed, {kFile});  // a file named 8.0.1
    // 7.0.20 and 9.0.1 never match the pattern, so the search finds nothing.
    probe.AddFramework(L"D:\\PF\\dotnet\\shared\\Microsoft.WindowsDesktop.App", {});
    probe.SetProgramFiles(k64, L"D:\\PF");
    EXPECT_FALSE(DetectDesktopRuntime(probe));
    EXPECT_EQ(probe.opened, (std::vector<std::wstring>{kX64Key + L"@" + std::to_wstring(k64View),
                                                       kX64Key + L"@" + std::to_wstring(k32View)}));
}

TEST(DetectDesktopRuntime, AFrameworkPathThatIsAFileIsSkipped) {
    FakeProbe probe;
    probe.attributes[kFixed] = kFile;
    probe.searches[kFixed + L"\\8.*"] = {kDir};
    EXPECT_FALSE(DetectDesktopRuntime(probe));
}

TEST(DetectDesktopRuntime, TheRegistryAcceptsSubkeysOrValuesBeginning8Dot) {
    const RegistryNames found[] = {
        {{L"7.0.20", L"8.0.5"}, {}},
        {{}, {L"9.0.1", L"8.0.28"}},
        {{L"8.anything"}, {}},
    };
    for (const RegistryNames& names : found) {
        FakeProbe probe;
        probe.AddKey(kX64Key, k64View, names);
        EXPECT_TRUE(DetectDesktopRuntime(probe));
    }
    const RegistryNames missed[] = {{{L"8"}, {L"8"}}, {{L"80.1"}, {L"9.0.1", L"7.0.20", L""}}, {}};
    for (const RegistryNames& names : missed) {
        FakeProbe probe;
        probe.AddKey(kX64Key, k64View, names);
        EXPECT_FALSE(DetectDesktopRuntime(probe));
    }
}

TEST(DetectDesktopRuntime, On64BitWindowsTheX64KeyIsReadInBothViews) {
    // Microsoft's installers record x64 runtimes under Wow6432Node.
    for (const REGSAM view : {k64View, k32View}) {
        FakeProbe probe;
        probe.AddKey(kX64Key, view, {{}, {L"8.0.28"}});
        EXPECT_TRUE(DetectDesktopRuntime(probe)) << view;
    }
    FakeProbe neither;
    neither.AddKey(kX86Key, k32View, {{L"8.0.28"}, {}});  // an x86 runtime does not run the x64 tool
    EXPECT_FALSE(DetectDesktopRuntime(neither));
}

TEST(DetectDesktopRuntime, On32BitWindowsUsesProgramFilesAndTheX86KeyIn32BitView) {
    FakeProbe probe;
    probe.kind = WindowsKind::kX86;
    probe.AddFramework(kFixed, {kDir});  // not probed on 32-bit Windows
    probe.AddKey(kX64Key, k64View, {{L"8.0.1"}, {}});
    EXPECT_FALSE(DetectDesktopRuntime(probe));
    EXPECT_EQ(probe.opened, std::vector<std::wstring>{kX86Key + L"@" + std::to_wstring(k32View)});

    probe.AddKey(kX86Key, k32View, {{}, {L"8.0.28"}});
    EXPECT_TRUE(DetectDesktopRuntime(probe));

    FakeProbe disk;
    disk.kind = WindowsKind::kX86;
    disk.SetProgramFiles(k32, L"C:\\Program Files (x86)");
    disk.AddFramework(L"C:\\Program Files (x86)\\dotnet\\shared\\Microsoft.WindowsDesktop.App", {kDir});
    EXPECT_TRUE(DetectDesktopRuntime(disk));
}

// Windows 11 on ARM64: dotnet\\shared holds the arm64 runtime, which the x64
// tool cannot use, so only dotnet\\x64 counts and the x64 key as elsewhere.
TEST(DetectDesktopRuntime, OnArm64OnlyTheX64RuntimeCounts) {
    const std::wstring x64Folder = L"D:\\PF\\dotnet\\x64\\shared\\Microsoft.WindowsDesktop.App";
    const std::wstring x64Fixed = L"C:\\Program Files\\dotnet\\x64\\shared\\Microsoft.WindowsDesktop.App";
    FakeProbe probe;
    probe.kind = WindowsKind::kX64OnArm64;
    probe.SetProgramFiles(k64, L"D:\\PF");
    EXPECT_EQ(RuntimeCandidates(probe, WindowsKind::kX64OnArm64), (std::vector<std::wstring>{x64Folder, x64Fixed}));

    probe.AddFramework(L"D:\\PF\\dotnet\\shared\\Microsoft.WindowsDesktop.App", {kDir});
    probe.AddFramework(kFixed, {kDir});
    EXPECT_FALSE(DetectDesktopRuntime(probe)) << "only the arm64 runtime: the installer runs";
    for (const std::wstring& folder : {x64Folder, x64Fixed}) {
        FakeProbe x64 = probe;
        x64.AddFramework(folder, {kDir});
        EXPECT_TRUE(DetectDesktopRuntime(x64)) << folder.c_str();
    }
    probe.AddKey(kX64Key, k32View, {{}, {L"8.0.28"}});
    EXPECT_TRUE(DetectDesktopRuntime(probe)) << "the x64 installer's key";
}

}  // namespace
}  // namespace repair
