#include "process/child_environment.h"

#include <gtest/gtest.h>

namespace repair {
namespace {

class FakeEnvironment final : public EnvironmentShell {
public:
    std::optional<std::vector<std::wstring>> machine;
    AccountBasics account;
    std::optional<std::vector<std::wstring>> MachineVariables() override { return machine; }
    AccountBasics Account() override { return account; }
};

std::vector<std::wstring> Entries(const std::wstring& block) {
    std::vector<std::wstring> entries;
    for (std::size_t at = 0; at < block.size() && block[at] != L'\0'; at = block.find(L'\0', at) + 1) {
        entries.push_back(block.substr(at, block.find(L'\0', at) - at));
    }
    return entries;
}

TEST(ChildEnvironment, TheMachineValuesAndTheAccountsBasicsSortedByNameOrNone) {
    FakeEnvironment shell;
    shell.machine =
        std::vector<std::wstring>{L"windir=C:\\Windows", L"Path=C:\\Windows\\system32", L"TEMP=C:\\Windows\\TEMP",
                                  L"USERPROFILE=C:\\Users\\Default", L"SystemRoot=C:\\Windows"};
    shell.account = {L"player", L"C:\\Users\\player", L"C:\\Users\\player\\AppData\\Roaming", L""};
    const std::optional<std::wstring> block = ChildEnvironment(shell);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->substr(block->size() - 2), std::wstring(2, L'\0')) << "ends in two NULs";
    EXPECT_EQ(Entries(*block),
              (std::vector<std::wstring>{L"APPDATA=C:\\Users\\player\\AppData\\Roaming", L"Path=C:\\Windows\\system32",
                                         L"SystemRoot=C:\\Windows", L"TEMP=C:\\Windows\\TEMP", L"USERNAME=player",
                                         L"USERPROFILE=C:\\Users\\player", L"windir=C:\\Windows"}))
        << "the machine's profile gives way, a folder the system could not name is left out";

    shell.machine.reset();
    EXPECT_FALSE(ChildEnvironment(shell)) << "no machine block: no child";
}

}  // namespace
}  // namespace repair
