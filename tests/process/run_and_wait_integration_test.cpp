#include "process/run_and_wait.h"

#include <gtest/gtest.h>

#include "app/win32_stage_services.h"
#include "process/file_digest.h"
#include "support/close_later.h"
#include "support/scratch.h"
#include "util/busy_retry.h"
#include "util/command_line.h"
#include "util/scoped.h"

namespace repair {
namespace {

// Copies the stand-in child to a path with blanks and Chinese characters and
// tells it which code to exit with.
class RunAndWaitTest : public ::testing::Test {
protected:
    ScratchDirectory scratch{L"run and wait 测试"};
    std::wstring child = scratch / L"stand in 子进程.exe";
    std::wstring record = scratch / L"record.txt";
    // As the work folder's preparation leaves it beside the downloads.
    std::wstring temp = scratch / L"temp";

    void SetUp() override {
        ASSERT_TRUE(CopyFileW(HelperPath(L"standin.exe").c_str(), child.c_str(), FALSE));
        ASSERT_TRUE(CreateDirectoryW(temp.c_str(), nullptr));
    }
    void ExitWith(const std::string& code) {
        WriteTextFile(child + L".cfg", "exit=" + code + "\nrecord=" + ToUtf8(record) + "\n");
    }
    static std::string ToUtf8(const std::wstring& text) {
        std::string out(static_cast<std::size_t>(text.size() * 4), '\0');
        const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(),
                                          static_cast<int>(out.size()), nullptr, nullptr);
        out.resize(static_cast<std::size_t>(n));
        return out;
    }
    std::string Recorded() { return ReadTextFile(record); }
};

TEST_F(RunAndWaitTest, ReturnsTheChildsExitCodeAsSigned32Bits) {
    const std::pair<const char*, int> cases[] = {
        {"0", 0}, {"3010", 3010}, {"1603", 1603}, {"0xFFFFFFFF", -1}, {"0xC0000005", static_cast<int>(0xC0000005u)}};
    for (const auto& [code, expected] : cases) {
        ExitWith(code);
        const int result = RunAndWait(child, L"", false, temp);
        EXPECT_EQ(result, expected) << code;
        if (expected < 0) {
            EXPECT_LT(result, 0);
        }
    }
}

TEST_F(RunAndWaitTest, TheChildGetsTheQuotedPathAndTheArgumentsUnchanged) {
    ExitWith("0");
    ASSERT_EQ(RunAndWait(child, L"--client-dir \"D:\\赤砂 回廊\\\\\"", false, temp), 0);
    const std::string seen = Recorded();
    EXPECT_NE(seen.find("argc\t3\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("arg\t--client-dir\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("arg\tD:\\赤砂 回廊\\\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("flags\t0\n"), std::string::npos) << "no show request";
}

TEST_F(RunAndWaitTest, WithoutARealTempFolderTheChildDoesNotStart) {
    ExitWith("0");
    const std::wstring file = scratch / L"not a folder";
    WriteTextFile(file, "not a folder");
    for (const std::wstring& given : {file, std::wstring()}) {
        EXPECT_EQ(RunAndWait(child, L"", false, given), -1) << given;
    }
    EXPECT_EQ(Recorded(), "") << "never started";
}

TEST_F(RunAndWaitTest, EmptyArgumentsLeaveOnlyTheQuotedPathAndShowNormalIsPassed) {
    ExitWith("0");
    ASSERT_EQ(RunAndWait(child, L"", true, temp), 0);
    const std::string seen = Recorded();
    EXPECT_NE(seen.find("commandline\t\"" + ToUtf8(child) + "\"\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("argc\t1\n"), std::string::npos);
    EXPECT_NE(seen.find("flags\t1\n"), std::string::npos);
    EXPECT_NE(seen.find("show\t1\n"), std::string::npos);
}

TEST(FileDigest, TheSha512OfWhatTheHandleHoldsFromItsFirstByte) {
    ScratchDirectory scratch(L"digest");
    WriteTextFile(scratch / L"abc.bin", "abc");
    const ScopedHandle file(
        CreateFileW((scratch / L"abc.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    char first = 0;
    DWORD read = 0;
    ReadFile(file.get(), &first, 1, &read, nullptr);  // as a signature check before it would
    EXPECT_EQ(Sha512Hex(file.get()),
              L"ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
              L"2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f");
    LARGE_INTEGER zero = {}, at = {};
    SetFilePointerEx(file.get(), zero, &at, FILE_CURRENT);
    EXPECT_EQ(at.QuadPart, 0) << "left at the first byte for the signature check";
    EXPECT_EQ(Sha512Hex(INVALID_HANDLE_VALUE), L"");
}

TEST_F(RunAndWaitTest, APathThatIsNoProgramGivesMinusOneAtOnce) {
    const unsigned retriesBefore = BusyRetriesSoFar();
    EXPECT_EQ(RunAndWait(scratch / L"missing.exe", L"", false, temp), -1);
    const std::wstring junk = scratch / L"junk.exe";
    WriteTextFile(junk, "this is not a program");
    EXPECT_EQ(RunAndWait(junk, L"/install", true, temp), -1);
    EXPECT_EQ(BusyRetriesSoFar(), retriesBefore) << "neither is worth waiting for";
    EXPECT_EQ(RunAndWait(scratch.path(), L"", false, temp), -1) << "a directory";
}

TEST_F(RunAndWaitTest, AProgramHeldOpenWithoutSharingStartsOnceItIsLetGo) {
    ExitWith("7");
    const HANDLE held = CreateFileW(child.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    // Let go from another thread while RunAndWait is trying.
    const HANDLE releaser = CloseLater(held, 500);
    const unsigned retriesBefore = BusyRetriesSoFar();
    EXPECT_EQ(RunAndWait(child, L"", false, temp), 7);
    EXPECT_GT(BusyRetriesSoFar(), retriesBefore);
    WaitForSingleObject(releaser, INFINITE);
    CloseHandle(releaser);
}

// What the program holds between the signature check and the start: the
// file can be read and started, but nobody can change, replace or delete it
// until it has started; then it is let go.
TEST_F(RunAndWaitTest, TheFileCheckedIsHeldUnchangeableUntilItStarts) {
    ExitWith("9");
    StageServices& services = Win32StageServices();
    services.IsSignedBy(child, L"Anyone");  // an unsigned stand-in: refused, but held all the same
    EXPECT_FALSE(services.HasDigest(child, std::wstring(128, L'0'))) << "another digest, read through the held file";
    const std::wstring other = scratch / L"other.exe";
    WriteTextFile(other, "swapped in");
    EXPECT_EQ(CreateFileW(child.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_FALSE(MoveFileExW(other.c_str(), child.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_FALSE(DeleteFileW(child.c_str()));
    EXPECT_EQ(services.RunAndWait(child, L"", false), 9) << "the file checked is the file that ran";
    EXPECT_TRUE(MoveFileExW(other.c_str(), child.c_str(), MOVEFILE_REPLACE_EXISTING)) << "let go once started";
}

}  // namespace
}  // namespace repair
