#include <gtest/gtest.h>

#include "process/run_and_wait.h"

namespace repair {
namespace {

TEST(ChildCommandLine, QuotesThePathAndAppendsArgumentsAfterOneSpace) {
    EXPECT_EQ(ChildCommandLine(L"C:\\a b\\tool.exe", L""), L"\"C:\\a b\\tool.exe\"");
    EXPECT_EQ(ChildCommandLine(L"C:\\t.exe", L" "), L"\"C:\\t.exe\"  ");
    EXPECT_EQ(ChildCommandLine(L"C:\\t.exe", L"/install /quiet /norestart"),
              L"\"C:\\t.exe\" /install /quiet /norestart");
}

TEST(ChildStartupInfo, AsksForTheNormalShowStateOnlyWhenTold) {
    const STARTUPINFOW normal = ChildStartupInfo(true);
    EXPECT_EQ(normal.cb, sizeof(STARTUPINFOW));
    EXPECT_EQ(normal.dwFlags, static_cast<DWORD>(STARTF_USESHOWWINDOW));
    EXPECT_EQ(normal.wShowWindow, SW_SHOWNORMAL);

    const STARTUPINFOW plain = ChildStartupInfo(false);
    EXPECT_EQ(plain.cb, sizeof(STARTUPINFOW));
    EXPECT_EQ(plain.dwFlags, 0u);
    EXPECT_EQ(plain.wShowWindow, 0);
}

}  // namespace
}  // namespace repair
