#include "app/work_directory_security.h"

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <vector>

namespace repair {
namespace {

class Descriptor {
public:
    Descriptor() {
        EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(kWorkDirectorySddl, SDDL_REVISION_1,
                                                                         &descriptor_, nullptr));
    }
    ~Descriptor() { LocalFree(descriptor_); }
    PSECURITY_DESCRIPTOR get() const { return descriptor_; }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
};

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
    BYTE buffer[SECURITY_MAX_SID_SIZE] = {};
    DWORD size = sizeof(buffer);
    CreateWellKnownSid(type, nullptr, buffer, &size);
    return EqualSid(sid, buffer) != FALSE;
}

TEST(WorkDirectoryDescriptor, OwnedByAdministratorsWithAProtectedDacl) {
    Descriptor descriptor;
    ASSERT_NE(descriptor.get(), nullptr);
    PSID owner = nullptr;
    BOOL defaulted = TRUE;
    ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor.get(), &owner, &defaulted));
    EXPECT_TRUE(IsWellKnown(owner, WinBuiltinAdministratorsSid));

    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor.get(), &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "nothing inherited from ProgramData";
}

TEST(WorkDirectoryDescriptor, OnlySystemAndAdministratorsMayWriteAndAllIsInherited) {
    Descriptor descriptor;
    PACL dacl = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted));
    ASSERT_TRUE(present);
    ASSERT_NE(dacl, nullptr);
    ASSERT_EQ(dacl->AceCount, 3);

    constexpr ACCESS_MASK kAnyWrite = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                                      FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                      GENERIC_ALL;
    struct Expected {
        WELL_KNOWN_SID_TYPE who;
        ACCESS_MASK mask;
    } expected[] = {{WinLocalSystemSid, FILE_ALL_ACCESS},
                    {WinBuiltinAdministratorsSid, FILE_ALL_ACCESS},
                    {WinBuiltinUsersSid, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE}};
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(ace->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE),
                  OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
        EXPECT_EQ(ace->Header.AceFlags & INHERIT_ONLY_ACE, 0) << "applies to the folder itself too";
        EXPECT_TRUE(IsWellKnown(&ace->SidStart, expected[i].who)) << i;
        EXPECT_EQ(ace->Mask, expected[i].mask) << i;
        if (expected[i].who == WinBuiltinUsersSid) {
            EXPECT_EQ(ace->Mask & kAnyWrite, 0u) << "users must not write";
        }
    }
}

// Records the calls and answers as told.
class FakeShell final : public DirectorySecurityShell {
public:
    std::vector<DWORD> createResults{ERROR_SUCCESS};
    ExistingEntry existing;
    DWORD applyResult = ERROR_SUCCESS;
    bool removeResult = true;
    std::vector<std::wstring> calls;

    DWORD CreateSecured(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor) override {
        calls.push_back(L"create " + path + (descriptor ? L" secured" : L""));
        const DWORD result = createResults.front();
        if (createResults.size() > 1) {
            createResults.erase(createResults.begin());
        }
        return result;
    }
    ExistingEntry OpenExisting(const std::wstring& path) override {
        calls.push_back(L"open " + path);
        return existing;
    }
    DWORD ApplyToOpened(PSECURITY_DESCRIPTOR) override {
        calls.push_back(L"apply");
        return applyResult;
    }
    void CloseOpened() override { calls.push_back(L"close"); }
    bool RemoveLink(const std::wstring& path) override {
        calls.push_back(L"unlink " + path);
        return removeResult;
    }
};

using Calls = std::vector<std::wstring>;
const std::wstring kPath = L"C:\\ProgramData\\VandrelRepair";

TEST(SecureWorkDirectory, ANewFolderIsCreatedWithTheDescriptor) {
    Descriptor descriptor;
    FakeShell shell;
    EXPECT_EQ(SecureWorkDirectory(kPath, descriptor.get(), shell), WorkDirectoryState::kCreatedSecured);
    EXPECT_EQ(shell.calls, Calls{L"create " + kPath + L" secured"});
}

TEST(SecureWorkDirectory, AnExistingFolderGetsOwnerAndDaclReplaced) {
    Descriptor descriptor;
    FakeShell shell;
    shell.createResults = {ERROR_ALREADY_EXISTS};
    shell.existing = {true, true, false};
    EXPECT_EQ(SecureWorkDirectory(kPath, descriptor.get(), shell), WorkDirectoryState::kSecuredExisting);
    EXPECT_EQ(shell.calls, (Calls{L"create " + kPath + L" secured", L"open " + kPath, L"apply", L"close"}));
}

TEST(SecureWorkDirectory, ALinkIsReplacedByAFolderOfOurOwnNeverSecuredThrough) {
    Descriptor descriptor;
    FakeShell shell;
    shell.createResults = {ERROR_ALREADY_EXISTS, ERROR_SUCCESS};
    shell.existing = {true, true, true};
    EXPECT_EQ(SecureWorkDirectory(kPath, descriptor.get(), shell), WorkDirectoryState::kReplacedLink);
    EXPECT_EQ(shell.calls, (Calls{L"create " + kPath + L" secured", L"open " + kPath, L"close", L"unlink " + kPath,
                                  L"create " + kPath + L" secured"}));
}

TEST(SecureWorkDirectory, WhatCannotBeSecuredIsLeftForTheDownloadsToDecide) {
    Descriptor descriptor;
    {
        FakeShell shell;  // e.g. the parent is missing
        shell.createResults = {ERROR_PATH_NOT_FOUND};
        EXPECT_EQ(SecureWorkDirectory(kPath, descriptor.get(), shell), WorkDirectoryState::kLeftAsIs);
        EXPECT_EQ(shell.calls.size(), 1u);
    }
    {
        FakeShell shell;  // cannot be opened for a change of owner
        shell.createResults = {ERROR_ALREADY_EXISTS};
        EXPECT_EQ(SecureWorkDirectory(kPath, descriptor.get(), shell), WorkDirectoryState::kLeftAsIs);
        EXPECT_EQ(shell.calls.back(), L"open " + kPath);
    }
    {
        FakeShell shell;  // the change is refused
        shell.createResults = {ERROR_ALREADY_EXISTS};
        shell.existing = {true, true, false};
        shell.applyResult = ERROR_ACCESS_DENIED;
        EXPECT_EQ(SecureWorkDirectory(kPath, descriptor.get(), shell), WorkDirectoryState::kLeftAsIs);
        EXPECT_EQ(shell.calls.back(), L"close");
    }
    {
        FakeShell shell;  // a file of that name: nothing is changed
        shell.createResults = {ERROR_ALREADY_EXISTS};
        shell.existing = {true, false, false};
        EXPECT_EQ(SecureWorkDirectory(kPath, descriptor.get(), shell), WorkDirectoryState::kLeftAsIs);
        EXPECT_EQ(shell.calls, (Calls{L"create " + kPath + L" secured", L"open " + kPath, L"close"}));
    }
    {
        FakeShell shell;  // a link that cannot be removed
        shell.createResults = {ERROR_ALREADY_EXISTS};
        shell.existing = {true, true, true};
        shell.removeResult = false;
        EXPECT_EQ(SecureWorkDirectory(kPath, descriptor.get(), shell), WorkDirectoryState::kLeftAsIs);
        EXPECT_EQ(shell.calls.back(), L"unlink " + kPath);
    }
}

}  // namespace
}  // namespace repair
