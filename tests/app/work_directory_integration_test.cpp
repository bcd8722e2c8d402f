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
    // account, so only the sequence is seen here: the folder is found, its
    // owner read and trusted, and its security set without an error.
    const WorkDirectoryChoice again = CreateWorkDirectory(path);
    EXPECT_EQ(again.state, WorkDirectoryState::kSecuredExisting);
    EXPECT_EQ(again.path, path);
}

TEST(CreateWorkDirectory, AFileInThePlaceOfTheFolderIsMovedAsideForAFreshOne) {
    ScratchDirectory root(L"secured-file");
    const std::wstring path = root / L"VandrelRepair";
    WriteTextFile(path, "not a folder");
    const WorkDirectoryChoice choice = CreateWorkDirectory(path);
    EXPECT_EQ(choice.state, WorkDirectoryState::kReplaced);
    EXPECT_TRUE(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

// The real calls, except that the fixed folder looks like another user's and
// cannot be moved aside, as when that user holds it open.
class HeldByAnotherUser final : public DirectorySecurityShell {
public:
    explicit HeldByAnotherUser(PSECURITY_DESCRIPTOR descriptor) : real_(Win32DirectorySecurityShell(descriptor)) {}
    DWORD CreateSecured(const std::wstring& path, PSECURITY_DESCRIPTOR d) override {
        return real_->CreateSecured(path, d);
    }
    ExistingEntry OpenExisting(const std::wstring& path) override {
        ExistingEntry entry = real_->OpenExisting(path);
        entry.owner.clear();
        return entry;
    }
    DWORD ApplyToOpened(PSECURITY_DESCRIPTOR d) override { return real_->ApplyToOpened(d); }
    void CloseOpened() override { real_->CloseOpened(); }
    bool MoveAside(const std::wstring&, const std::wstring&) override { return false; }
    SidBytes ProcessUser() override { return real_->ProcessUser(); }
    std::wstring RandomHex() override { return real_->RandomHex(); }
    void SetOwnershipPrivileges(bool enabled) override { real_->SetOwnershipPrivileges(enabled); }

private:
    std::unique_ptr<DirectorySecurityShell> real_;
};

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
