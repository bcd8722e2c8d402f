#include "app/work_directory_security.h"

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <optional>
#include <string>
#include <vector>

#include "support/sids.h"

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

const SidBytes kAdministrators = SidOf(WinBuiltinAdministratorsSid);
const SidBytes kSelf = SidOf(L"S-1-5-21-1004336348-1177238915-682003330-500");
const SidBytes kOtherUser = SidOf(L"S-1-5-21-1004336348-1177238915-682003330-1001");

TEST(IsTrustedOwner, OnlyTheSystemAndAdministratorsArePreparers) {
    EXPECT_TRUE(IsTrustedOwner(kAdministrators));
    EXPECT_TRUE(IsTrustedOwner(SidOf(WinLocalSystemSid)));
    EXPECT_TRUE(IsTrustedOwner(SidOf(L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464")))
        << "TrustedInstaller";
    EXPECT_FALSE(IsTrustedOwner(kSelf)) << "the running account's unelevated session could have made it";
    EXPECT_FALSE(IsTrustedOwner(kOtherUser));
    EXPECT_FALSE(IsTrustedOwner(SidOf(WinBuiltinUsersSid)));
    EXPECT_FALSE(IsTrustedOwner(SidOf(WinWorldSid))) << "Everyone";
    EXPECT_FALSE(IsTrustedOwner({})) << "an owner that could not be read";
}

TEST(HoldsOnlyOwnFiles, OnlyRegularFilesNamedAsDownloadsOrPartials) {
    const FolderEntry dots[] = {{L".", false}, {L"..", false}};
    EXPECT_TRUE(HoldsOnlyOwnFiles({}));
    EXPECT_TRUE(HoldsOnlyOwnFiles({dots[0], dots[1]}));
    EXPECT_TRUE(HoldsOnlyOwnFiles({dots[0],
                                   {L"Vandrel_Client_Repair_Tool_net8.exe", true},
                                   {L"windowsdesktop-runtime-8.0.28-win-x64.exe", true},
                                   {L"VANDREL_CLIENT_REPAIR_TOOL_NET8_X86.EXE", true},
                                   {L"dl1A2B.tmp", true},
                                   {L"dl7.tmp", true}}));
    const FolderEntry foreign[] = {
        {L"version.dll", true},
        {L"hostfxr.dll", true},
        {L"Vandrel_Client_Repair_Tool_net8.exe.config", true},
        {L"Vandrel_Client_Repair_Tool_net8.exe", false},  // a link or a folder under the tool's name
        {L"dl1A2B.tmp", false},
        {L"dl12345.tmp", true},
        {L"dlxyz.tmp", true},
        {L"dl.tmp", true},
        {L"dl1A2B.tmp.dll", true},
    };
    for (const FolderEntry& entry : foreign) {
        EXPECT_FALSE(HoldsOnlyOwnFiles({{L"Vandrel_Client_Repair_Tool_net8.exe", true}, entry})) << entry.name;
    }
}

// Records the calls and answers as told.
class FakeShell final : public DirectorySecurityShell {
public:
    std::vector<DWORD> createResults{ERROR_SUCCESS};
    std::vector<ExistingEntry> existing{ExistingEntry{true, true, false, kAdministrators}};
    DWORD applyResult = ERROR_SUCCESS;
    std::optional<std::vector<FolderEntry>> contents = std::vector<FolderEntry>{};
    bool moveResult = true;
    int randoms = 0;
    std::vector<std::wstring> calls;

    DWORD CreateSecured(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor) override {
        calls.push_back(L"create " + path + (descriptor ? L" secured" : L""));
        return Next(createResults);
    }
    ExistingEntry OpenExisting(const std::wstring& path) override {
        calls.push_back(L"open " + path);
        return Next(existing);
    }
    DWORD ApplyToOpened(PSECURITY_DESCRIPTOR) override {
        calls.push_back(L"apply");
        return applyResult;
    }
    std::optional<std::vector<FolderEntry>> ListOpened() override {
        calls.push_back(L"list");
        return contents;
    }
    void CloseOpened() override { calls.push_back(L"close"); }
    bool MoveAside(const std::wstring& path, const std::wstring& newPath) override {
        calls.push_back(L"move " + path + L" -> " + newPath);
        return moveResult;
    }
    std::wstring RandomHex() override { return L"r" + std::to_wstring(++randoms); }
    void SetOwnershipPrivileges(bool enabled) override {
        calls.push_back(enabled ? L"privileges on" : L"privileges off");
    }

private:
    template <typename T>
    static T Next(std::vector<T>& answers) {
        const T answer = answers.front();
        if (answers.size() > 1) {
            answers.erase(answers.begin());
        }
        return answer;
    }
};

using Calls = std::vector<std::wstring>;
const std::wstring kPath = L"C:\\ProgramData\\VandrelRepair";
const std::wstring kCreate = L"create " + kPath + L" secured";
const std::wstring kOpen = L"open " + kPath;

struct Choice {
    WorkDirectoryState state;
    std::wstring path;
};

Choice Secure(FakeShell& shell) {
    Descriptor descriptor;
    const WorkDirectoryChoice choice = SecureWorkDirectory(kPath, descriptor.get(), shell);
    return {choice.state, choice.path};
}

TEST(SecureWorkDirectory, ANewFolderIsCreatedWithTheDescriptorInTheSameCall) {
    FakeShell shell;
    const Choice choice = Secure(shell);
    EXPECT_EQ(choice.state, WorkDirectoryState::kCreatedSecured);
    EXPECT_EQ(choice.path, kPath);
    EXPECT_EQ(shell.calls, Calls{kCreate}) << "no privileges needed, none enabled";
}

TEST(SecureWorkDirectory, AFolderATrustedOwnerPreparedWithOnlyOurFilesIsAdoptedAndSecured) {
    for (const SidBytes& owner : {kAdministrators, SidOf(WinLocalSystemSid)}) {
        FakeShell shell;
        shell.createResults = {ERROR_ALREADY_EXISTS};
        shell.existing = {{true, true, false, owner}};
        shell.contents = std::vector<FolderEntry>{{L"Vandrel_Client_Repair_Tool_net8.exe", true}};
        const Choice choice = Secure(shell);
        EXPECT_EQ(choice.state, WorkDirectoryState::kSecuredExisting);
        EXPECT_EQ(choice.path, kPath);
        EXPECT_EQ(shell.calls,
                  (Calls{kCreate, L"privileges on", kOpen, L"apply", L"list", L"close", L"privileges off"}))
            << "secured before it is looked at, so nothing can be added after";
    }
}

TEST(SecureWorkDirectory, AnythingElseIsMovedAsideAndReplacedNeverEmptied) {
    const ExistingEntry entries[] = {
        {true, true, false, kOtherUser},      // a standard user made it first
        {true, true, false, kSelf},           // the player's own unelevated session made it first
        {true, true, false, {}},              // its owner shut us out of reading it
        {true, true, true, kAdministrators},  // a link, whoever owns it
        {true, false, false, kAdministrators},
    };
    for (const ExistingEntry& entry : entries) {
        FakeShell shell;
        shell.createResults = {ERROR_ALREADY_EXISTS, ERROR_SUCCESS};
        shell.existing = {entry};
        const Choice choice = Secure(shell);
        EXPECT_EQ(choice.state, WorkDirectoryState::kReplaced);
        EXPECT_EQ(choice.path, kPath);
        EXPECT_EQ(shell.calls, (Calls{kCreate, L"privileges on", kOpen, L"close",
                                      L"move " + kPath + L" -> " + kPath + L"-moved-r1", kCreate, L"privileges off"}))
            << "never secured through, never used";
    }
    // An administrators' folder that anyone could add to, as earlier versions
    // made them: whatever was added goes aside with it, untouched.
    for (const auto& contents : {std::optional<std::vector<FolderEntry>>(std::vector<FolderEntry>{
                                     {L"Vandrel_Client_Repair_Tool_net8.exe", true}, {L"version.dll", true}}),
                                 std::optional<std::vector<FolderEntry>>()}) {
        FakeShell shell;
        shell.createResults = {ERROR_ALREADY_EXISTS, ERROR_SUCCESS};
        shell.contents = contents;
        const Choice choice = Secure(shell);
        EXPECT_EQ(choice.state, WorkDirectoryState::kReplaced);
        EXPECT_EQ(choice.path, kPath);
        EXPECT_EQ(shell.calls, (Calls{kCreate, L"privileges on", kOpen, L"apply", L"list", L"close",
                                      L"move " + kPath + L" -> " + kPath + L"-moved-r1", kCreate, L"privileges off"}));
    }
}

TEST(SecureWorkDirectory, ANameTakenAgainIsCheckedAgainThenAnUnpredictableFolderIsUsed) {
    FakeShell shell;
    shell.createResults = {ERROR_ALREADY_EXISTS, ERROR_ALREADY_EXISTS, ERROR_ALREADY_EXISTS, ERROR_SUCCESS};
    shell.existing = {{true, true, false, kOtherUser}};
    const Choice choice = Secure(shell);
    EXPECT_EQ(choice.state, WorkDirectoryState::kFallback);
    EXPECT_EQ(choice.path, kPath + L"-r4");
    const Calls expected = {kCreate,
                            L"privileges on",
                            kOpen,
                            L"close",
                            L"move " + kPath + L" -> " + kPath + L"-moved-r1",
                            kCreate,
                            kOpen,
                            L"close",
                            L"move " + kPath + L" -> " + kPath + L"-moved-r2",
                            kCreate,
                            kOpen,
                            L"close",
                            L"move " + kPath + L" -> " + kPath + L"-moved-r3",
                            L"create " + kPath + L"-r4 secured",
                            L"privileges off"};
    EXPECT_EQ(shell.calls, expected);

    // The newcomer a trusted owner made in between is adopted.
    FakeShell adopted;
    adopted.createResults = {ERROR_ALREADY_EXISTS};
    adopted.existing = {{true, true, false, kOtherUser}, {true, true, false, kAdministrators}};
    EXPECT_EQ(Secure(adopted).state, WorkDirectoryState::kSecuredExisting);
}

TEST(SecureWorkDirectory, WhatCannotBeMovedAsideOrSecuredLeadsToAFreshFolder) {
    {
        FakeShell shell;  // held open without delete sharing
        shell.createResults = {ERROR_ALREADY_EXISTS, ERROR_SUCCESS};
        shell.existing = {{true, true, false, kOtherUser}};
        shell.moveResult = false;
        const Choice choice = Secure(shell);
        EXPECT_EQ(choice.state, WorkDirectoryState::kFallback);
        EXPECT_EQ(choice.path, kPath + L"-r2");
        EXPECT_EQ(shell.calls.back(), L"privileges off");
    }
    {
        FakeShell shell;  // a trusted owner's folder that refuses the new DACL
        shell.createResults = {ERROR_ALREADY_EXISTS, ERROR_SUCCESS};
        shell.applyResult = ERROR_ACCESS_DENIED;
        EXPECT_EQ(Secure(shell).state, WorkDirectoryState::kFallback);
    }
    {
        FakeShell shell;  // nothing can be made at all: never the folder someone else holds
        shell.createResults = {ERROR_ALREADY_EXISTS, ERROR_DISK_FULL};
        shell.existing = {{true, true, false, kOtherUser}};
        shell.moveResult = false;
        const Choice choice = Secure(shell);
        EXPECT_EQ(choice.state, WorkDirectoryState::kLeftAsIs);
        EXPECT_NE(choice.path, kPath);
    }
    {
        FakeShell shell;  // no ProgramData to create it in
        shell.createResults = {ERROR_PATH_NOT_FOUND};
        const Choice choice = Secure(shell);
        EXPECT_EQ(choice.state, WorkDirectoryState::kLeftAsIs);
        EXPECT_EQ(shell.calls, Calls{kCreate});
    }
}

}  // namespace
}  // namespace repair
