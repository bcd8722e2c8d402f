#include <gtest/gtest.h>

#include <map>

#include "app/directories.h"
#include "util/machine_folders.h"

namespace repair {
namespace {

constexpr DWORD kMissing = INVALID_FILE_ATTRIBUTES;

class ClientDirectoryTest : public ::testing::Test {
protected:
    std::map<std::wstring, DWORD> entries;
    std::wstring exeDir = L"D:\\Games\\Vandrel";

    std::wstring Choose(const std::optional<Arguments>& args) {
        return ChooseClientDirectory(args, exeDir, L"C:\\Program Files\\Vandrel", [this](const std::wstring& path) {
            const auto it = entries.find(path);
            return it == entries.end() ? kMissing : it->second;
        });
    }
    static Arguments Args(std::initializer_list<const wchar_t*> tail) {
        Arguments args{L"C:\\bin\\修复工具.exe"};
        args.insert(args.end(), tail.begin(), tail.end());
        return args;
    }
};

TEST_F(ClientDirectoryTest, TheOptionWinsAtAnyPositionInAnyLetterCase) {
    entries[exeDir + L"\\Vandrel.exe"] = FILE_ATTRIBUTE_ARCHIVE;
    EXPECT_EQ(Choose(Args({L"--client-dir", L"E:\\Client"})), L"E:\\Client");
    EXPECT_EQ(Choose(Args({L"-x", L"--CLIENT-DIR", L"E:\\Client", L"-y"})), L"E:\\Client");
    EXPECT_EQ(Choose(Args({L"--Client-Dir", L"relative\\dir"})), L"relative\\dir") << "not made absolute";
    EXPECT_EQ(Choose(Args({L"--client-dir", L"first", L"--client-dir", L"second"})), L"first");
    EXPECT_EQ(Choose(Args({L"--client-dir", L""})), L"");
    EXPECT_EQ(Choose(Args({L"--client-dir", L"--client-dir"})), L"--client-dir");
    EXPECT_EQ(Choose(Args({L"--client-dir", L"C:\\a b\\客户端\\"})), L"C:\\a b\\客户端\\");
}

TEST_F(ClientDirectoryTest, AnOptionWithoutAValueOrJoinedToItIsNotRecognised) {
    EXPECT_EQ(Choose(Args({L"--client-dir"})), exeDir) << "last argument";
    EXPECT_EQ(Choose(Args({L"--client-dir=E:\\Client"})), exeDir);
    EXPECT_EQ(Choose(Args({L"client-dir", L"E:\\Client"})), exeDir);
    EXPECT_EQ(Choose(std::nullopt), exeDir) << "command line could not be split";
    // The program's own path is never taken for the option.
    EXPECT_EQ(Choose(Arguments{L"--client-dir", L"E:\\Client"}), exeDir);
}

TEST_F(ClientDirectoryTest, MarkerFilesBesideTheProgramComeNext) {
    entries[L"C:\\Program Files\\Vandrel"] = FILE_ATTRIBUTE_DIRECTORY;
    entries[exeDir + L"\\赤砂回廊.exe"] = FILE_ATTRIBUTE_NORMAL;
    EXPECT_EQ(Choose(Args({})), exeDir) << "localised marker alone";

    entries.erase(exeDir + L"\\赤砂回廊.exe");
    entries[exeDir + L"\\Vandrel.exe"] = FILE_ATTRIBUTE_DIRECTORY;
    EXPECT_EQ(Choose(Args({})), L"C:\\Program Files\\Vandrel") << "a folder is no marker";

    entries[exeDir + L"\\赤砂回廊.exe"] = FILE_ATTRIBUTE_READONLY;
    EXPECT_EQ(Choose(Args({})), exeDir) << "folder Vandrel.exe skipped, second marker found";
}

TEST_F(ClientDirectoryTest, TheDefaultCountsOnlyAsAnExistingDirectory) {
    entries[L"C:\\Program Files\\Vandrel"] = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY;
    EXPECT_EQ(Choose(Args({})), L"C:\\Program Files\\Vandrel");
    entries[L"C:\\Program Files\\Vandrel"] = FILE_ATTRIBUTE_ARCHIVE;
    EXPECT_EQ(Choose(Args({})), exeDir) << "a file of that name";
    entries.clear();
    EXPECT_EQ(Choose(Args({})), exeDir) << "nothing found anywhere";
}

TEST_F(ClientDirectoryTest, AtADriveRootTheMarkersAreLookedForInTheRoot) {
    exeDir = L"X:\\";
    entries[L"X:\\Vandrel.exe"] = FILE_ATTRIBUTE_ARCHIVE;
    EXPECT_EQ(Choose(Args({})), L"X:\\");
}

TEST(WorkDirectory, UsesTheDataRootOrTheFallback) {
    EXPECT_EQ(WorkDirectoryFor(L"D:\\ProgramData", L"C:"), L"D:\\ProgramData\\VandrelRepair");
    EXPECT_EQ(WorkDirectoryFor(L"D:\\ProgramData\\", L"C:"), L"D:\\ProgramData\\VandrelRepair");
    EXPECT_EQ(WorkDirectoryFor(L"", L"C:"), L"C:\\ProgramData\\VandrelRepair") << "the known folder could not be had";
    EXPECT_EQ(WorkDirectoryFor(L"", L"E:"), L"E:\\ProgramData\\VandrelRepair") << "Windows on E: falls back there";
}

TEST(WorkDirectory, ARootThatLeavesNoRoomForTheFolderFallsBackInsteadOfGoingRelative) {
    EXPECT_EQ(WorkDirectoryFor(L"D:\\" + std::wstring(4000, L'p'), L"C:"), L"C:\\ProgramData\\VandrelRepair");
    const std::wstring longest = L"D:\\" + std::wstring(256, L'p');
    EXPECT_EQ(WorkDirectoryFor(longest, L"C:"), L"C:\\ProgramData\\VandrelRepair");
    const std::wstring roomy = L"D:\\" + std::wstring(200, L'p');
    EXPECT_EQ(WorkDirectoryFor(roomy, L"C:"), roomy + L"\\VandrelRepair");
    // A value that already ends in the folder name looks joined when the
    // append failed; only the append's own answer tells.
    const std::wstring lookalike = L"D:\\" + std::wstring(242, L'p') + L"\\VandrelRepair";
    EXPECT_EQ(WorkDirectoryFor(lookalike, L"C:"), L"C:\\ProgramData\\VandrelRepair");
}

TEST(MachineFolders, TodaysValuesWhereWindowsIsOnCAndTheSystemDriveElsewhere) {
    EXPECT_EQ(SystemDriveOf(L"C:\\Windows"), L"C:");
    EXPECT_EQ(SystemDriveOf(L"E:\\Windows"), L"E:");
    EXPECT_EQ(SystemDriveOf(L""), L"C:") << "the system named no folder";
    EXPECT_EQ(SystemDriveOf(L"\\\\server\\windows"), L"C:") << "no drive letter";
    EXPECT_EQ(ProgramFilesOn(L"C:\\Program Files", L"C:"), L"C:\\Program Files");
    EXPECT_EQ(ProgramFilesOn(L"E:\\Program Files", L"E:"), L"E:\\Program Files");
    EXPECT_EQ(ProgramFilesOn(L"", L"E:"), L"E:\\Program Files") << "the machine's value unreadable: never C:";
    EXPECT_EQ(ProgramFilesOn(L"", L"C:"), L"C:\\Program Files");
}

}  // namespace
}  // namespace repair
