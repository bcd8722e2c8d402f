#include <gtest/gtest.h>

#include "support/scratch.h"
#include "util/quote.h"

namespace {

// Runs the relaunch probe with a command line and returns what its elevated
// copy was given, one argument per line.
std::string RelaunchWith(const ScratchDirectory& scratch, const std::wstring& tail) {
    const std::wstring probe = scratch / L"修复 probe.exe";
    EXPECT_TRUE(CopyFileW(HelperPath(L"relaunch_probe.exe").c_str(), probe.c_str(), FALSE));
    const std::wstring copyRecord = probe + L".copy.txt";
    DeleteFileW(copyRecord.c_str());

    std::wstring commandLine = repair::Quote(probe) + tail;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    EXPECT_TRUE(
        CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    WaitForSingleObject(info.hProcess, 30000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    // The original never waits for its copy; the record shows up a little later.
    for (int i = 0; i < 300 && GetFileAttributesW(copyRecord.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) {
        Sleep(50);
    }
    Sleep(100);
    return ReadTextFile(copyRecord);
}

TEST(RelaunchElevated, TheRunasCopyGetsTheSameArguments) {
    ScratchDirectory scratch(L"relaunch");
    EXPECT_EQ(RelaunchWith(scratch, L" --client-dir \"D:\\My Games\\赤砂回廊\\\\\" \"\" \"say \\\"hi\\\"\" C:\\"),
              "--elevated-copy\n--client-dir\nD:\\My Games\\赤砂回廊\\\n\nsay \"hi\"\nC:\\\n");
}

TEST(RelaunchElevated, WithoutArgumentsTheCopyGetsOnlyTheMark) {
    ScratchDirectory scratch(L"relaunch-bare");
    EXPECT_EQ(RelaunchWith(scratch, L""), "--elevated-copy\n") << "only the mark";
}

}  // namespace
