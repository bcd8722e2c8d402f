#include "app/work_directory_security.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include "net/download.h"
#include "process/run_and_wait.h"
#include "support/scratch.h"

namespace repair {
namespace {

TEST(CreateWorkDirectory, MakesAndThenAcceptsTheFolderOnTheRealFileSystem) {
    ScratchDirectory root(L"secured");
    const std::wstring path = root / L"VandrelRepair";
    const WorkDirectoryChoice made = CreateWorkDirectory(path);
    EXPECT_EQ(made.state, WorkDirectoryState::kCreatedSecured);
    EXPECT_EQ(made.path, path);
    EXPECT_TRUE(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    // Wine keeps no descriptors and reports every owner as the running
    // account, which could have made the folder unelevated: it goes aside.
    WriteTextFile(path + L"\\Vandrel_Client_Repair_Tool_net8.exe", "earlier");
    const WorkDirectoryChoice again = CreateWorkDirectory(path);
    EXPECT_EQ(again.state, WorkDirectoryState::kReplaced);
    EXPECT_EQ(again.path, path);
    EXPECT_EQ(GetFileAttributesW((path + L"\\Vandrel_Client_Repair_Tool_net8.exe").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(CreateWorkDirectory, AFileInThePlaceOfTheFolderIsMovedAsideForAFreshOne) {
    ScratchDirectory root(L"secured-file");
    const std::wstring path = root / L"VandrelRepair";
    WriteTextFile(path, "not a folder");
    const WorkDirectoryChoice choice = CreateWorkDirectory(path);
    EXPECT_EQ(choice.state, WorkDirectoryState::kReplaced);
    EXPECT_TRUE(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

// The real calls; the shells below change what the real file system
// cannot be made to say under Wine.
class RealShell : public DirectorySecurityShell {
public:
    explicit RealShell(PSECURITY_DESCRIPTOR descriptor) : real_(Win32DirectorySecurityShell(descriptor)) {}
    DWORD CreateSecured(const std::wstring& path, PSECURITY_DESCRIPTOR d) override {
        return real_->CreateSecured(path, d);
    }
    ExistingEntry OpenExisting(const std::wstring& path) override { return real_->OpenExisting(path); }
    DWORD ApplyToOpened(PSECURITY_DESCRIPTOR d) override { return real_->ApplyToOpened(d); }
    std::optional<std::vector<FolderEntry>> ListOpened() override { return real_->ListOpened(); }
    void CloseOpened() override { real_->CloseOpened(); }
    bool MoveAside(const std::wstring& p, const std::wstring& n) override { return real_->MoveAside(p, n); }
    std::wstring RandomHex() override { return real_->RandomHex(); }
    void SetOwnershipPrivileges(bool enabled) override { real_->SetOwnershipPrivileges(enabled); }

private:
    std::unique_ptr<DirectorySecurityShell> real_;
};

// The fixed folder looks like another user's and cannot be moved aside, as
// when that user holds it open.
class HeldByAnotherUser final : public RealShell {
public:
    using RealShell::RealShell;
    ExistingEntry OpenExisting(const std::wstring& path) override {
        ExistingEntry entry = RealShell::OpenExisting(path);
        entry.owner.clear();
        return entry;
    }
    bool MoveAside(const std::wstring&, const std::wstring&) override { return false; }
};

// Every folder reads as the administrators' (Wine reads the running account).
class OwnedByAdministrators final : public RealShell {
public:
    using RealShell::RealShell;
    ExistingEntry OpenExisting(const std::wstring& path) override {
        ExistingEntry entry = RealShell::OpenExisting(path);
        BYTE sid[SECURITY_MAX_SID_SIZE] = {};
        DWORD size = sizeof(sid);
        CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size);
        entry.owner.assign(sid, sid + size);
        return entry;
    }
    std::wstring RandomHex() override { return L"aside"; }
};

TEST(CreateWorkDirectory, AnAdministratorsFolderIsAdoptedOnlyWhileItHoldsNothingButOurFiles) {
    ScratchDirectory root(L"secured-contents");
    const std::wstring path = root / L"VandrelRepair";
    const std::wstring tool = path + L"\\Vandrel_Client_Repair_Tool_net8.exe";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(kWorkDirectorySddl, SDDL_REVISION_1, &descriptor,
                                                                     nullptr));
    OwnedByAdministrators shell(descriptor);
    CreateDirectoryW(path.c_str(), nullptr);
    WriteTextFile(tool, "earlier");
    WriteTextFile(path + L"\\dl1F.tmp", "partial");
    EXPECT_EQ(SecureWorkDirectory(path, descriptor, shell).state, WorkDirectoryState::kSecuredExisting);
    EXPECT_NE(GetFileAttributesW(tool.c_str()), INVALID_FILE_ATTRIBUTES);

    for (const bool folder : {false, true}) {
        const std::wstring planted = path + (folder ? L"\\sub" : L"\\version.dll");
        if (folder) {
            CreateDirectoryW(planted.c_str(), nullptr);
        } else {
            WriteTextFile(planted, "planted");
        }
        const WorkDirectoryChoice choice = SecureWorkDirectory(path, descriptor, shell);
        EXPECT_EQ(choice.state, WorkDirectoryState::kReplaced);
        EXPECT_EQ(choice.path, path);
        EXPECT_EQ(GetFileAttributesW(planted.c_str()), INVALID_FILE_ATTRIBUTES) << "nothing planted beside the tool";
        const std::wstring aside = path + L"-moved-aside";
        EXPECT_NE(GetFileAttributesW((aside + planted.substr(path.size())).c_str()), INVALID_FILE_ATTRIBUTES)
            << "moved aside whole, nothing deleted";
        ScratchDirectory::RemoveTree(aside);
    }
    LocalFree(descriptor);
}

TEST(CreateWorkDirectory, TheUnpredictableFallbackIsAFolderWhoseDownloadsRun) {
    ScratchDirectory root(L"secured-fallback");
    const std::wstring path = root / L"VandrelRepair";
    CreateDirectoryW(path.c_str(), nullptr);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(kWorkDirectorySddl, SDDL_REVISION_1, &descriptor,
                                                                     nullptr));
    HeldByAnotherUser shell(descriptor);
    const WorkDirectoryChoice choice = SecureWorkDirectory(path, descriptor, shell);
    LocalFree(descriptor);
    ASSERT_EQ(choice.state, WorkDirectoryState::kFallback);
    ASSERT_EQ(choice.path.rfind(path + L"-", 0), 0u);
    EXPECT_EQ(choice.path.size(), path.size() + 17) << "16 random hex digits";
    EXPECT_TRUE(GetFileAttributesW(choice.path.c_str()) & FILE_ATTRIBUTE_DIRECTORY);

    const std::wstring program = choice.path + L"\\program.exe";
    WriteTextFile(program + L".cfg", "exit=5\n");
    ASSERT_TRUE(DownloadFile(L"http://127.0.0.1:47802/program.exe", program, L"S", L"D"));
    EXPECT_EQ(RunAndWait(program, L"", false), 5);
}

}  // namespace
}  // namespace repair
