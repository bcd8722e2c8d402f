#include "app/work_directory_security.h"

#include <gtest/gtest.h>

#include "net/download.h"
#include "process/run_and_wait.h"
#include "support/scratch.h"
#include "support/sids.h"
#include "support/work_descriptor.h"

namespace repair {
namespace {

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The one folder beside path whose name starts with path's and the infix.
std::wstring FindBeside(const std::wstring& path, const std::wstring& infix) {
    WIN32_FIND_DATAW data = {};
    const HANDLE search = FindFirstFileW((path + infix + L"*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) {
        return {};
    }
    FindClose(search);
    return path.substr(0, path.find_last_of(L'\\') + 1) + data.cFileName;
}

TEST(CreateWorkDirectory, MakesTheFolderThenMovesAnEarlierOneAsideWhole) {
    ScratchDirectory root(L"secured");
    const std::wstring path = root / L"VandrelRepair";
    EXPECT_EQ(CreateWorkDirectory(path), path);
    EXPECT_TRUE(IsDirectoryAt(path));
    // Wine keeps no descriptors and reports every owner as the running
    // account, which could have made the folder unelevated: it goes aside.
    WriteTextFile(path + L"\\Vandrel_Client_Repair_Tool_net8.exe", "earlier");
    EXPECT_EQ(CreateWorkDirectory(path), path);
    EXPECT_TRUE(IsDirectoryAt(path));
    EXPECT_FALSE(Exists(path + L"\\Vandrel_Client_Repair_Tool_net8.exe"));
    const std::wstring aside = FindBeside(path, L"-moved-");
    ASSERT_FALSE(aside.empty());
    EXPECT_EQ(ReadTextFile(aside + L"\\Vandrel_Client_Repair_Tool_net8.exe"), "earlier") << "never emptied";
}

TEST(CreateWorkDirectory, AFileInThePlaceOfTheFolderIsMovedAsideForAFreshOne) {
    ScratchDirectory root(L"secured-file");
    const std::wstring path = root / L"VandrelRepair";
    WriteTextFile(path, "not a folder");
    EXPECT_EQ(CreateWorkDirectory(path), path);
    EXPECT_TRUE(IsDirectoryAt(path));
    EXPECT_EQ(ReadTextFile(FindBeside(path, L"-moved-")), "not a folder");
}

// The real calls; the shells below change what the real file system
// cannot be made to say under Wine.
class RealShell : public DirectorySecurityShell {
public:
    DWORD CreateSecured(const std::wstring& path, PSECURITY_DESCRIPTOR d) override {
        return real_->CreateSecured(path, d);
    }
    ExistingEntry Inspect(const std::wstring& path) override { return real_->Inspect(path); }
    bool MoveAside(const std::wstring& p, const std::wstring& n) override { return real_->MoveAside(p, n); }
    std::wstring RandomHex() override { return real_->RandomHex(); }

private:
    std::unique_ptr<DirectorySecurityShell> real_ = Win32DirectorySecurityShell();
};

// The fixed folder cannot be moved aside, as when another user holds a
// file inside it open.
class HeldOpenInside final : public RealShell {
public:
    bool MoveAside(const std::wstring&, const std::wstring&) override { return false; }
};

// Every folder reads as one an elevated run made (Wine reads the running
// account as owner and keeps no protected DACL); what it holds is real.
class ReadsAsOurs final : public RealShell {
public:
    ExistingEntry Inspect(const std::wstring& path) override {
        ExistingEntry entry = RealShell::Inspect(path);
        entry.owner = SidOf(WinBuiltinAdministratorsSid);
        entry.daclProtected = true;
        entry.dacl = std::vector<AccessEntry>{{true, entry.owner, FILE_ALL_ACCESS}};
        return entry;
    }
    std::wstring RandomHex() override { return L"aside"; }
};

TEST(CreateWorkDirectory, OurOwnFolderIsAdoptedOnlyWhileItHoldsNothingButOurFiles) {
    ScratchDirectory root(L"secured-contents");
    const std::wstring path = root / L"VandrelRepair";
    const std::wstring tool = path + L"\\Vandrel_Client_Repair_Tool_net8.exe";
    WorkDescriptor descriptor;
    ReadsAsOurs shell;
    CreateDirectoryW(path.c_str(), nullptr);
    WriteTextFile(tool, "earlier");
    WriteTextFile(path + L"\\dl1F.tmp", "partial");
    CreateDirectoryW((path + L"\\temp").c_str(), nullptr);  // the children's, with what they left
    WriteTextFile(path + L"\\temp\\setup.log", "log");
    EXPECT_EQ(SecureWorkDirectory(path, descriptor.get(), shell), path);
    EXPECT_TRUE(Exists(tool) && Exists(path + L"\\temp\\setup.log")) << "adopted as it was";

    for (const bool folder : {false, true}) {
        const std::wstring planted = path + (folder ? L"\\sub" : L"\\version.dll");
        if (folder) {
            CreateDirectoryW(planted.c_str(), nullptr);
        } else {
            WriteTextFile(planted, "planted");
        }
        EXPECT_EQ(SecureWorkDirectory(path, descriptor.get(), shell), path);
        EXPECT_FALSE(Exists(planted)) << "nothing planted beside the tool";
        const std::wstring aside = path + L"-moved-aside";
        EXPECT_TRUE(Exists(aside + planted.substr(path.size()))) << "moved aside whole, nothing deleted";
        ScratchDirectory::RemoveTree(aside);
    }
}

TEST(CreateWorkDirectory, TheUnpredictableFallbackIsAFolderWhoseDownloadsRun) {
    ScratchDirectory root(L"secured-fallback");
    const std::wstring path = root / L"VandrelRepair";
    CreateDirectoryW(path.c_str(), nullptr);
    WorkDescriptor descriptor;
    HeldOpenInside shell;
    const std::wstring fallback = SecureWorkDirectory(path, descriptor.get(), shell);
    ASSERT_EQ(fallback.rfind(path + L"-", 0), 0u);
    EXPECT_EQ(fallback.size(), path.size() + 17) << "16 random hex digits";
    EXPECT_TRUE(IsDirectoryAt(fallback));
    EXPECT_TRUE(IsDirectoryAt(fallback + L"\\temp")) << "the children's temp folder made with it";

    const std::wstring program = fallback + L"\\program.exe";
    WriteTextFile(program + L".cfg", "exit=5\n");
    ASSERT_TRUE(DownloadFile(L"http://127.0.0.1:47802/program.exe", program, L"S", L"D"));
    EXPECT_EQ(RunAndWait(program, L"", false, fallback + L"\\temp"), 5);
}

}  // namespace
}  // namespace repair
