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

ActivationContextReport Reporting(const AssemblyOrigin& second, const std::wstring& folder = kGame,
                                  const std::wstring& own = kOwn) {
    return {folder, L"", {{own, L""}, second}, own, kSystemStore};
}

TEST(AssembliesComeFromTheSystem, OnlyWhenNoneButTheProgramsOwnWasReadFromItsFolder) {
    const struct {
        const char* what;
        std::optional<ActivationContextReport> report;
        bool goesOn;
    } cases[] = {
        {"the store's manifest", Reporting({kStore, L""}), true},
        {"a path in another form (a real Windows' store)", Reporting({L"\\\\?\\C:\\Windows\\WinSxS\\cc.manifest", L""}),
         true},
        {"no path at all", Reporting({L"", L""}), true},
        {"a folder that only begins like the program's", Reporting({L"D:\\Games\\Vandrel2\\cc.manifest", L""}), true},
        {"a private assembly beside the program",
         Reporting({L"D:\\Games\\Vandrel\\Microsoft.Windows.Common-Controls.manifest", L""}), false},
        {"a private folder below it (probing privatePath)",
         Reporting({L"D:\\Games\\Vandrel\\libs\\cc\\Microsoft.Windows.Common-Controls.manifest", L""}), false},
        {"another letter case", Reporting({L"d:\\GAMES\\vandrel\\cc.MANIFEST", L""}), false},
        {"forward slashes and a long-path prefix", Reporting({L"\\\\?\\D:/Games/Vandrel/cc.manifest", L""}), false},
        {"a policy beside the program", Reporting({kStore, L"D:\\Games\\Vandrel\\policy.manifest"}), false},
        {"an NT path", Reporting({L"\\??\\D:\\Games\\Vandrel\\cc.manifest", L""}), false},
        {"a share in long form", Reporting({L"\\\\?\\UNC\\srv\\g\\V\\cc.manifest", L""}, L"\\\\srv\\g\\V\\"), false},
        {"the store's manifest, its files loaded from beside the program", Reporting({kStore, L"", kGame + L"cc"}),
         false},
        {"an empty directory name", Reporting({kStore, L"", L""}), true},
        {"the program's own manifest, in any place and letter case",
         ActivationContextReport{kGame, L"", {{kStore, L""}, {L"d:\\games\\VANDREL\\修复工具.exe", L""}}, kOwn}, true},
        {"the program at the drive root, the store's manifest", Reporting({kStore, L""}, L"C:\\", L"C:\\p.exe"), true},
        {"the program at the drive root, a private assembly",
         Reporting({L"C:\\Microsoft.Windows.Common-Controls.manifest", L""}, L"C:\\", L"C:\\p.exe"), false},
        {"a configuration file beside the program",
         ActivationContextReport{kGame, kOwn + L".config", {{kOwn, L""}, {kStore, L""}}}, false},
        {"the query failed", std::nullopt, false},
        {"no program folder reported", ActivationContextReport{L"", L"", {{kOwn, L""}, {kStore, L""}}}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AssembliesComeFromTheSystem(c.report), c.goesOn) << c.what;
    }
}

}  // namespace
}  // namespace repair
