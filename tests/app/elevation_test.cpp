#include "app/elevation.h"

#include "app/directories.h"

#include <gtest/gtest.h>

#include <vector>

namespace repair {
namespace {

TEST(RelaunchParameters, TheMarkThenEveryArgumentAfterTheProgramPathQuoted) {
    EXPECT_EQ(RelaunchParameters(Arguments{L"C:\\p.exe"}), L"--elevated-copy");
    EXPECT_EQ(RelaunchParameters(std::nullopt), L"--elevated-copy");
    EXPECT_EQ(RelaunchParameters(Arguments{L"C:\\p.exe", L""}), L"--elevated-copy \"\"");
    EXPECT_EQ(RelaunchParameters(Arguments{L"C:\\p.exe", L"--client-dir", L"D:\\My Games\\"}),
              L"--elevated-copy \"--client-dir\" \"D:\\My Games\\\\\"");
    EXPECT_EQ(RelaunchParameters(Arguments{L"C:\\p.exe", L"--elevated-copy", L"x"}), L"--elevated-copy \"x\"")
        << "never marked twice";
}

TEST(RelaunchParameters, TheElevatedCopySeesTheSameArgumentsAfterTheMarkAndTheSameClientFolder) {
    const Arguments original{
        L"C:\\程序\\修复工具.exe", L"--client-dir", L"D:\\My Games\\赤砂\\", L"", L"say \"hi\"", L"a\\\\\"b", L"\t"};
    const std::optional<Arguments> copy =
        SplitCommandLine((L"\"" + original[0] + L"\" " + RelaunchParameters(original)).c_str());
    ASSERT_TRUE(copy.has_value());
    EXPECT_TRUE(IsRelaunchedCopy(copy));
    EXPECT_FALSE(IsRelaunchedCopy(original));
    Arguments unmarked = *copy;
    unmarked.erase(unmarked.begin() + 1);
    EXPECT_EQ(unmarked, original);
    for (const Arguments& tail : {Arguments{L"p", L"--client-dir"}, Arguments{L"p", L"x", L"--CLIENT-DIR", L"y"},
                                  Arguments{L"p", L"--client-dir", L"--elevated-copy"}}) {
        const auto split = SplitCommandLine((L"p " + RelaunchParameters(tail)).c_str());
        const auto none = [](const std::wstring&) { return INVALID_FILE_ATTRIBUTES; };
        EXPECT_EQ(ChooseClientDirectory(split, L"E", L"P", none), ChooseClientDirectory(tail, L"E", L"P", none));
    }
}

TEST(RelaunchRequest, AsksForRunasWithoutAHandleAndFinishedBeforeItReturns) {
    const std::wstring module = L"C:\\games\\修复工具.exe";
    const std::wstring none;
    const SHELLEXECUTEINFOW bare = RelaunchRequest(module, none);
    EXPECT_EQ(bare.cbSize, sizeof(SHELLEXECUTEINFOW));
    EXPECT_EQ(bare.fMask, static_cast<ULONG>(SEE_MASK_NOASYNC)) << "this process ends right after";
    EXPECT_EQ(bare.hwnd, nullptr);
    EXPECT_STREQ(bare.lpVerb, L"runas");
    EXPECT_EQ(bare.lpFile, module.c_str());
    EXPECT_EQ(bare.lpParameters, nullptr) << "no arguments: null, not an empty string";
    EXPECT_EQ(bare.lpDirectory, nullptr);
    EXPECT_EQ(bare.nShow, SW_SHOWNORMAL);

    const std::wstring params = L"\"\"";
    EXPECT_STREQ(RelaunchRequest(module, params).lpParameters, L"\"\"");
}

class FakeShell final : public ElevationShell {
public:
    std::optional<Arguments> arguments;
    BOOL answer = TRUE;
    std::vector<std::wstring> requests;  // file, then parameters or "(null)"
    std::vector<std::wstring> warnings;

    std::optional<Arguments> CommandArguments() override { return arguments; }
    std::wstring ExecutablePath() override { return L"C:\\p.exe"; }
    BOOL Execute(SHELLEXECUTEINFOW& request) override {
        requests.push_back(request.lpFile);
        requests.push_back(request.lpParameters ? request.lpParameters : L"(null)");
        return answer;
    }
    void ShowWarning(const std::wstring& text) override { warnings.push_back(text); }
};

TEST(RelaunchElevated, WarnsOnlyWhenTheShellRefuses) {
    FakeShell shell;
    shell.arguments = Arguments{L"C:\\p.exe", L"--client-dir", L"x"};
    RelaunchElevatedWith(shell);
    EXPECT_EQ(shell.requests, (std::vector<std::wstring>{L"C:\\p.exe", L"--elevated-copy \"--client-dir\" \"x\""}));
    EXPECT_TRUE(shell.warnings.empty());

    shell.answer = FALSE;
    RelaunchElevatedWith(shell);
    ASSERT_EQ(shell.warnings.size(), 1u);
    EXPECT_EQ(shell.warnings[0], L"修复客户端需要管理员权限，请允许弹出的权限确认。");

    shell.answer = 2;  // anything but TRUE counts as a refusal
    RelaunchElevatedWith(shell);
    EXPECT_EQ(shell.warnings.size(), 2u);
}

TEST(RelaunchElevated, StartsTheCopyWithoutParametersWhenTheSplitFails) {
    FakeShell shell;
    RelaunchElevatedWith(shell);
    EXPECT_EQ(shell.requests, (std::vector<std::wstring>{L"C:\\p.exe", L"--elevated-copy"}));
}

TEST(IsAdministrator, WineRunsEveryProcessAsAnAdministrator) {
    EXPECT_TRUE(IsAdministrator());
}

}  // namespace
}  // namespace repair
