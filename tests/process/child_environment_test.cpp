#include "process/child_environment.h"

#include <gtest/gtest.h>

namespace repair {
namespace {

class FakeEnvironment final : public EnvironmentShell {
public:
    std::optional<std::vector<std::wstring>> machine;
    AccountBasics account;
    SystemFolders folders{L"C:\\Windows", L"C:\\Windows\\system32"};
    std::vector<Variable> expandedAgainst;
    bool settable = true;
    bool SetOwnVariables(const std::vector<Variable>& values) override {
        expandedAgainst = values;
        return settable;
    }
    std::optional<std::vector<std::wstring>> MachineVariables() override {
        EXPECT_TRUE(settable) << "never built against what the caller's environment holds";
        return machine;
    }
    AccountBasics Account() override { return account; }
    SystemFolders Folders() override { return folders; }
};

std::vector<std::wstring> Entries(const std::wstring& block) {
    std::vector<std::wstring> entries;
    for (std::size_t at = 0; at < block.size() && block[at] != L'\0'; at = block.find(L'\0', at) + 1) {
        entries.push_back(block.substr(at, block.find(L'\0', at) - at));
    }
    return entries;
}

const wchar_t kTemp[] = L"C:\\ProgramData\\VandrelRepair\\temp";

TEST(ChildEnvironment, TheMachineValuesTheAccountsBasicsAndTheSystemsOwnFoldersSortedByNameOrNone) {
    FakeEnvironment shell;
    // As a planted SystemRoot, a machine PATH led by a folder users may
    // change and the machine's temp folder would leave them.
    shell.machine = std::vector<std::wstring>{L"windir=C:\\planted",
                                              L"PATH=C:\\planted;C:\\Windows\\system32",
                                              L"TEMP=C:\\Windows\\TEMP",
                                              L"tmp=C:\\Windows\\TEMP",
                                              L"ComSpec=C:\\Windows\\system32\\cmd.exe",
                                              L"USERPROFILE=C:\\Users\\Default",
                                              L"SystemRoot=C:\\planted",
                                              L"SystemDrive=P:"};
    shell.account = {L"player", L"C:\\Users\\player", L"C:\\Users\\player\\AppData\\Roaming", L""};
    const std::optional<std::wstring> block = ChildEnvironment(shell, kTemp);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->substr(block->size() - 2), std::wstring(2, L'\0')) << "ends in two NULs";
    EXPECT_EQ(
        Entries(*block),
        (std::vector<std::wstring>{
            L"APPDATA=C:\\Users\\player\\AppData\\Roaming", L"ComSpec=C:\\Windows\\system32\\cmd.exe",
            L"Path=C:\\Windows\\system32;C:\\Windows;C:\\Windows\\system32\\Wbem;"
            L"C:\\Windows\\system32\\WindowsPowerShell\\v1.0",
            L"SystemDrive=C:", L"SystemRoot=C:\\Windows", std::wstring(L"TEMP=") + kTemp, std::wstring(L"TMP=") + kTemp,
            L"USERNAME=player", L"USERPROFILE=C:\\Users\\player", L"windir=C:\\Windows"}))
        << "the machine's profile gives way, a folder the system could not name is left out";
    EXPECT_EQ(
        shell.expandedAgainst,
        (std::vector<Variable>{{L"SystemRoot", L"C:\\Windows"}, {L"windir", L"C:\\Windows"}, {L"SystemDrive", L"C:"}}))
        << "built against the system's";
    shell.settable = false;
    EXPECT_FALSE(ChildEnvironment(shell, kTemp)) << "the system's names could not be set";
    shell.settable = true;

    // No child where any of what it must get is missing.
    EXPECT_FALSE(ChildEnvironment(shell, L"")) << "no temp folder";
    for (const SystemFolders& folders : {SystemFolders{L"", L"C:\\Windows\\system32"},
                                         SystemFolders{L"\\\\server\\share\\Windows", L"C:\\Windows\\system32"}}) {
        shell.folders = folders;
        EXPECT_FALSE(ChildEnvironment(shell, kTemp)) << folders.windows;
    }
    shell.machine.reset();
    EXPECT_FALSE(ChildEnvironment(shell, kTemp)) << "no machine block";
}

}  // namespace
}  // namespace repair
