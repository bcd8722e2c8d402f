#include "runtime/detection.h"

#include <gtest/gtest.h>

#include "support/scratch.h"

namespace repair {
namespace {

// Where the 64-bit test build looks: being no WOW64 process it takes the x86
// branch, which reads the 32-bit view's Program Files folder (C:\Program
// Files (x86) on 64-bit Windows) and the x86 key through the 32-bit view.
const std::wstring kFramework = L"C:\\Program Files (x86)\\dotnet\\shared\\Microsoft.WindowsDesktop.App";
const wchar_t kCurrentVersionKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const wchar_t kX86Key[] = L"SOFTWARE\\dotnet\\Setup\\InstalledVersions\\x86\\sharedfx\\Microsoft.WindowsDesktop.App";
const wchar_t kDotnetKey[] = L"SOFTWARE\\dotnet";

void RemoveRuntimeState() {
    ScratchDirectory::RemoveTree(L"C:\\Program Files (x86)\\dotnet");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\WOW6432Node\\dotnet");
    HKEY view64 = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &view64) == ERROR_SUCCESS) {
        RegDeleteTreeW(view64, L"dotnet");
        RegCloseKey(view64);
    }
}

void MakeDirectories(const std::wstring& path) {
    for (std::size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    }
    CreateDirectoryW(path.c_str(), nullptr);
}

HKEY CreateKey(REGSAM view) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kX86Key, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr);
    return key;
}

class RuntimeDetectionTest : public ::testing::Test {
protected:
    void SetUp() override { RemoveRuntimeState(); }
    void TearDown() override { RemoveRuntimeState(); }
};

TEST_F(RuntimeDetectionTest, NothingInstalledIsNotFound) {
    EXPECT_FALSE(IsDesktopRuntimeInstalled());
}

TEST_F(RuntimeDetectionTest, AVersion8FolderIsFoundButFilesAndOtherVersionsAreNot) {
    MakeDirectories(kFramework + L"\\7.0.20");
    MakeDirectories(kFramework + L"\\9.0.1");
    WriteTextFile(kFramework + L"\\8.0.1", "a file");
    EXPECT_FALSE(IsDesktopRuntimeInstalled());
    MakeDirectories(kFramework + L"\\8.0.28");
    EXPECT_TRUE(IsDesktopRuntimeInstalled());
}

TEST_F(RuntimeDetectionTest, TheX86KeyIsReadThroughThe32BitView) {
    HKEY wrongView = CreateKey(KEY_WOW64_64KEY);
    ASSERT_NE(wrongView, nullptr);
    RegSetValueExW(wrongView, L"8.0.28", 0, REG_DWORD, reinterpret_cast<const BYTE*>("\1\0\0\0"), 4);
    RegCloseKey(wrongView);
    EXPECT_FALSE(IsDesktopRuntimeInstalled()) << "a value in the 64-bit view does not count here";

    HKEY key = CreateKey(KEY_WOW64_32KEY);
    ASSERT_NE(key, nullptr);
    RegSetValueExW(key, L"8", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 4);
    EXPECT_FALSE(IsDesktopRuntimeInstalled()) << "a value named 8 alone";
    RegSetValueExW(key, L"8.0.28", 0, REG_BINARY, reinterpret_cast<const BYTE*>("\0"), 1);
    EXPECT_TRUE(IsDesktopRuntimeInstalled()) << "a value of any type";
    RegCloseKey(key);
}

TEST_F(RuntimeDetectionTest, ASubkeyNamedAfterAVersion8Counts) {
    HKEY key = CreateKey(KEY_WOW64_32KEY);
    ASSERT_NE(key, nullptr);
    HKEY sub = nullptr;
    RegCreateKeyExW(key, L"8.0.5", 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &sub, nullptr);
    RegCloseKey(sub);
    RegCloseKey(key);
    EXPECT_TRUE(IsDesktopRuntimeInstalled());
}

TEST(RuntimeProbe, ReadsTheMachinesProgramFilesFolderOfEachViewAndNoVariable) {
    RuntimeProbe& probe = Win32RuntimeProbe();
    SetEnvironmentVariableW(L"ProgramW6432", L"D:\\planted");
    SetEnvironmentVariableW(L"ProgramFiles", L"D:\\planted");
    EXPECT_EQ(probe.ReadMachineString(kCurrentVersionKey, L"ProgramFilesDir", KEY_WOW64_64KEY), L"C:\\Program Files");
    EXPECT_EQ(probe.ReadMachineString(kCurrentVersionKey, L"ProgramFilesDir", KEY_WOW64_32KEY),
              L"C:\\Program Files (x86)");

    const wchar_t scratchKey[] = L"SOFTWARE\\VandrelRepairTest";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, scratchKey, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    const auto set = [&](const wchar_t* name, DWORD type, const std::wstring& text) {
        RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    };
    set(L"long", REG_SZ, L"D:\\" + std::wstring(257, L'x'));
    set(L"expand", REG_EXPAND_SZ, L"%ProgramW6432%");
    RegCloseKey(key);
    EXPECT_EQ(probe.ReadMachineString(scratchKey, L"long", KEY_WOW64_64KEY), L"") << "260 characters";
    EXPECT_EQ(probe.ReadMachineString(scratchKey, L"expand", KEY_WOW64_64KEY), L"") << "nothing expanded";
    EXPECT_EQ(probe.ReadMachineString(scratchKey, L"missing", KEY_WOW64_64KEY), L"");
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, scratchKey, KEY_WOW64_64KEY, 0);
    SetEnvironmentVariableW(L"ProgramW6432", nullptr);
    SetEnvironmentVariableW(L"ProgramFiles", nullptr);
}

TEST(RuntimeProbe, FindsOnlyEntriesMatchingThePattern) {
    ScratchDirectory dir(L"framework");
    CreateDirectoryW((dir / L"7.0.20").c_str(), nullptr);
    CreateDirectoryW((dir / L"80.1").c_str(), nullptr);
    WriteTextFile(dir / L"8.0.1", "file");
    CreateDirectoryW((dir / L"8.0.28").c_str(), nullptr);
    std::vector<DWORD> found = Win32RuntimeProbe().FindEntries(dir / L"8.*");
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ((found[0] & FILE_ATTRIBUTE_DIRECTORY) + (found[1] & FILE_ATTRIBUTE_DIRECTORY),
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_TRUE(Win32RuntimeProbe().FindEntries(dir / L"missing\\8.*").empty());
}

}  // namespace
}  // namespace repair
