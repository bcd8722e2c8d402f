#include <gtest/gtest.h>

#include "app/directories.h"
#include "net/download.h"
#include "support/scratch.h"

namespace repair {
namespace {

// Sets an environment variable for one test and puts the old value back.
class ScopedVariable {
public:
    ScopedVariable(const wchar_t* name, const wchar_t* value) : name_(name) {
        wchar_t buffer[32768] = {};
        had_ = GetEnvironmentVariableW(name, buffer, 32768) > 0;
        old_ = buffer;
        SetEnvironmentVariableW(name, value);
    }
    ~ScopedVariable() { SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }

private:
    const wchar_t* name_;
    bool had_ = false;
    std::wstring old_;
};

TEST(PrepareWorkDirectory, CreatesTheFolderAndToleratesAnExistingOne) {
    ScratchDirectory root(L"programdata");
    const std::wstring expected = root / L"VandrelRepair";
    EXPECT_EQ(PrepareWorkDirectoryAt(expected), expected);
    const DWORD attributes = GetFileAttributesW(expected.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(PrepareWorkDirectoryAt(expected), expected) << "second run";

    // Partial files of transfers an earlier run gave up go; nothing else does.
    WriteTextFile(expected + L"\\dl1A2B.tmp", "partial");
    WriteTextFile(expected + L"\\Vandrel_Client_Repair_Tool_net8_x86.exe", "tool");
    RemoveLeftoverPartials(expected);
    EXPECT_EQ(GetFileAttributesW((expected + L"\\dl1A2B.tmp").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesW((expected + L"\\Vandrel_Client_Repair_Tool_net8_x86.exe").c_str()),
              INVALID_FILE_ATTRIBUTES);
}

TEST(KnownDataRoot, IsTheKnownFolderWhateverTheEnvironmentSays) {
    ScratchDirectory root(L"programdata-variable");
    ScopedVariable data(L"ProgramData", root.path().c_str());
    EXPECT_EQ(KnownDataRoot(), L"C:\\ProgramData");
}

TEST(ExecutableDirectory, IsTheModulePathWithoutItsFileName) {
    wchar_t module[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    const std::wstring dir = ExecutableDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(std::wstring(module).rfind(dir + L"\\", 0), 0u);
    EXPECT_EQ(std::wstring(module).find(L'\\', dir.size() + 1), std::wstring::npos);
}

TEST(ResolveClientDirectory, ReadsTheMarkersFromTheRealFileSystem) {
    ScratchDirectory dir(L"client");
    const AttributesOf real = [](const std::wstring& p) { return GetFileAttributesW(p.c_str()); };
    CreateDirectoryW((dir / L"Vandrel.exe").c_str(), nullptr);
    WriteTextFile(dir / L"赤砂回廊.exe", "x");
    EXPECT_EQ(ChooseClientDirectory(Arguments{L"p"}, dir.path(), L"C:\\Program Files\\Vandrel", real), dir.path());
    EXPECT_EQ(ChooseClientDirectory(Arguments{L"p"}, L"C:\\windows", L"C:\\Program Files\\Vandrel", real),
              L"C:\\windows")
        << "no marker and no default directory";
}

}  // namespace
}  // namespace repair
