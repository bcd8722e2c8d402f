#include "util/join_path.h"

#include <gtest/gtest.h>

namespace repair {
namespace {

TEST(JoinPath, PutsExactlyOneBackslashBetweenTheParts) {
    EXPECT_EQ(JoinPath(L"D:\\Games", L"Vandrel.exe"), L"D:\\Games\\Vandrel.exe");
    EXPECT_EQ(JoinPath(L"D:\\Games\\", L"Vandrel.exe"), L"D:\\Games\\Vandrel.exe");
    EXPECT_EQ(JoinPath(L"C:\\", L"VandrelRepair"), L"C:\\VandrelRepair");
    EXPECT_EQ(JoinPath(L"C:\\ProgramData", L"VandrelRepair"), L"C:\\ProgramData\\VandrelRepair");
    EXPECT_EQ(JoinPath(L"D:\\游戏", L"赤砂回廊.exe"), L"D:\\游戏\\赤砂回廊.exe");
}

TEST(JoinPath, AppendsBackslashesAndWildcardsUnchanged) {
    EXPECT_EQ(JoinPath(L"C:\\Program Files", L"dotnet\\shared\\Microsoft.WindowsDesktop.App"),
              L"C:\\Program Files\\dotnet\\shared\\Microsoft.WindowsDesktop.App");
    EXPECT_EQ(JoinPath(L"C:\\x\\Microsoft.WindowsDesktop.App", L"8.*"), L"C:\\x\\Microsoft.WindowsDesktop.App\\8.*");
}

TEST(JoinPath, NeverReturnsMoreThan259Characters) {
    const std::wstring dir259 = L"C:\\" + std::wstring(256, L'd');
    const std::wstring joined = JoinPath(dir259, L"Vandrel.exe");
    EXPECT_LE(joined.size(), 259u);
    EXPECT_NE(joined, dir259 + L"\\Vandrel.exe");

    const std::wstring dir300 = L"C:\\" + std::wstring(297, L'd');
    EXPECT_LE(JoinPath(dir300, L"x").size(), 259u) << "a longer directory is cut first";

    const std::wstring dir250 = L"C:\\" + std::wstring(247, L'd');
    EXPECT_EQ(JoinPath(dir250, L"abc.exe"), dir250 + L"\\abc.exe") << "258 characters still fit";
}

}  // namespace
}  // namespace repair
