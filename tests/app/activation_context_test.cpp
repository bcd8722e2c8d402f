#include "app/activation_context.h"

#include <gtest/gtest.h>

namespace repair {
namespace {

const std::wstring kGame = L"D:\\Games\\Vandrel\\";
const std::wstring kOwn = L"D:\\Games\\Vandrel\\修复工具.exe";
const std::wstring kStore =
    L"C:\\windows\\winsxs\\manifests\\x86_microsoft.windows.common-controls_6595b64144ccf1df_6.0.2600.2982_none_"
    L"deadbeef.manifest";

const std::wstring kSystemStore = L"C:\\windows\\WinSxS";

ActivationContextReport Reporting(const AssemblyOrigin& second) {
    return {kGame, L"", {{kOwn, L"", L""}, second}, kOwn, kSystemStore};
}

// The program at the root of the system drive, where the store lies below it.
ActivationContextReport AtTheRoot(const AssemblyOrigin& second) {
    return {L"C:\\", L"", {{L"C:\\修复工具.exe", L"", L""}, second}, L"C:\\修复工具.exe", kSystemStore};
}

TEST(AssembliesComeFromTheSystem, OnlyWhenNoneButTheProgramsOwnWasReadFromItsFolder) {
    const struct {
        const char* what;
        std::optional<ActivationContextReport> report;
        bool goesOn;
    } cases[] = {
        {"the store's manifest", Reporting({kStore, L"", L"x86_microsoft.windows.common-controls_deadbeef"}), true},
        {"a path in another form (a real Windows' store)",
         Reporting({L"\\\\?\\C:\\Windows\\WinSxS\\cc.manifest", L"", L""}), true},
        {"no path at all, an empty directory name", Reporting({L"", L"", L""}), true},
        {"a folder that only begins like the program's", Reporting({L"D:\\Games\\Vandrel2\\cc.manifest", L"", L""}),
         true},
        {"a private assembly beside the program",
         Reporting({L"D:\\Games\\Vandrel\\Microsoft.Windows.Common-Controls.manifest", L"", L""}), false},
        {"a private folder below it (probing privatePath)",
         Reporting({L"D:\\Games\\Vandrel\\libs\\cc\\Microsoft.Windows.Common-Controls.manifest", L"", L""}), false},
        {"another letter case", Reporting({L"d:\\GAMES\\vandrel\\cc.MANIFEST", L"", L""}), false},
        {"forward slashes and a long-path prefix", Reporting({L"\\\\?\\D:/Games/Vandrel/cc.manifest", L"", L""}),
         false},
        {"an NT path", Reporting({L"\\??\\D:\\Games\\Vandrel\\cc.manifest", L"", L""}), false},
        {"the store's manifest, its files loaded from beside the program",
         Reporting({kStore, L"", L"D:\\Games\\Vandrel\\cc"}), false},
        {"a policy beside the program", Reporting({kStore, L"D:\\Games\\Vandrel\\policy.manifest", L""}), false},
        {"a configuration file beside the program",
         ActivationContextReport{kGame, kOwn + L".config", {{kOwn, L"", L""}, {kStore, L"", L""}}, kOwn, kSystemStore},
         false},
        {"the program's own manifest, wherever it is listed",
         ActivationContextReport{
             kGame, L"", {{kStore, L"", L""}, {L"d:\\games\\vandrel\\修复工具.EXE", L"", L""}}, kOwn, kSystemStore},
         true},
        {"a second manifest beside the program in the first place",
         ActivationContextReport{
             kGame, L"", {{L"D:\\Games\\Vandrel\\cc.manifest", L"", L""}, {kStore, L"", L""}}, kOwn, kSystemStore},
         false},
        {"the program at the drive root, the store's manifest", AtTheRoot({kStore, L"", L""}), true},
        {"the program at the drive root, a private assembly",
         AtTheRoot({L"C:\\Microsoft.Windows.Common-Controls.manifest", L"", L""}), false},
        {"the query failed", std::nullopt, false},
        {"no program folder reported",
         ActivationContextReport{L"", L"", {{kOwn, L"", L""}, {kStore, L"", L""}}, kOwn, kSystemStore}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AssembliesComeFromTheSystem(c.report), c.goesOn) << c.what;
    }
}

TEST(IsInsideFolder, EverySpellingOfAShareOrDriveIsOne) {
    const std::wstring share = L"\\\\server\\games\\Vandrel";
    EXPECT_TRUE(IsInsideFolder(share, L"\\\\?\\UNC\\server\\games\\Vandrel\\cc.manifest"));
    EXPECT_TRUE(IsInsideFolder(share, L"\\??\\UNC\\SERVER\\games\\vandrel\\cc.manifest"));
    EXPECT_TRUE(IsInsideFolder(L"\\\\?\\UNC\\server\\games\\Vandrel\\", share + L"\\cc.manifest"));
    EXPECT_FALSE(IsInsideFolder(share, L"\\\\?\\UNC\\server\\games2\\cc.manifest"));
    EXPECT_TRUE(IsInsideFolder(L"C:\\", L"\\??\\C:\\x.manifest"));
}

}  // namespace
}  // namespace repair
