#include "app/work_directory_security.h"

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/sids.h"
#include "support/work_descriptor.h"

namespace repair {
namespace {

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
    BYTE buffer[SECURITY_MAX_SID_SIZE] = {};
    DWORD size = sizeof(buffer);
    CreateWellKnownSid(type, nullptr, buffer, &size);
    return EqualSid(sid, buffer) != FALSE;
}

TEST(WorkDirectoryDescriptor, OwnedByAdministratorsWithAProtectedDacl) {
    WorkDescriptor descriptor;
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

TEST(WorkDirectoryDescriptor, OnlySystemAndAdministratorsAreGrantedAnythingAndAllIsInherited) {
    WorkDescriptor descriptor;
    PACL dacl = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted));
    ASSERT_TRUE(present);
    ASSERT_NE(dacl, nullptr);
    ASSERT_EQ(dacl->AceCount, 2) << "users may not even read: a reader can hold a download open";

    struct Expected {
        WELL_KNOWN_SID_TYPE who;
        ACCESS_MASK mask;
    } expected[] = {{WinLocalSystemSid, FILE_ALL_ACCESS}, {WinBuiltinAdministratorsSid, FILE_ALL_ACCESS}};
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(ace->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE),
                  OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
        EXPECT_EQ(ace->Header.AceFlags & INHERIT_ONLY_ACE, 0) << "applies to the folder itself too";
        EXPECT_TRUE(IsWellKnown(&ace->SidStart, expected[i].who)) << i;
        EXPECT_EQ(ace->Mask, expected[i].mask) << i;
    }
}

const SidBytes kSelf = SidOf(L"S-1-5-21-1004336348-1177238915-682003330-500");
const SidBytes kOtherUser = SidOf(L"S-1-5-21-1004336348-1177238915-682003330-1001");
const SidBytes kTrustedInstaller = SidOf(L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464");

TEST(IsTrustedAccount, OnlyTheSystemAndAdministrators) {
    EXPECT_TRUE(IsTrustedAccount(kAdministrators));
    EXPECT_TRUE(IsTrustedAccount(SidOf(WinLocalSystemSid)));
    EXPECT_TRUE(IsTrustedAccount(kTrustedInstaller));
    EXPECT_FALSE(IsTrustedAccount(kSelf)) << "the running account's unelevated session could have made it";
    EXPECT_FALSE(IsTrustedAccount(kOtherUser));
    EXPECT_FALSE(IsTrustedAccount(SidOf(WinBuiltinUsersSid)));
    EXPECT_FALSE(IsTrustedAccount(SidOf(WinWorldSid))) << "Everyone";
    EXPECT_FALSE(IsTrustedAccount({})) << "an owner that could not be read";
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
        {L"temp", true},  // a file named as the children's temp folder
    };
    for (const FolderEntry& entry : foreign) {
        EXPECT_FALSE(HoldsOnlyOwnFiles({{L"Vandrel_Client_Repair_Tool_net8.exe", true}, entry})) << entry.name;
    }
}

const std::wstring kPath = L"C:\\ProgramData\\VandrelRepair";
const std::wstring kFallback = kPath + L"-r";  // followed by the number of the random draw

// What an elevated run of this program leaves: its descriptor, its files.
ExistingEntry OwnFolder() {
    ExistingEntry entry;
    entry.opened = entry.isDirectory = entry.daclProtected = true;
    entry.owner = kAdministrators;
    entry.dacl = std::vector<AccessEntry>{{true, SidOf(WinLocalSystemSid), FILE_ALL_ACCESS},
                                          {true, kAdministrators, FILE_ALL_ACCESS}};
    entry.contents = std::vector<FolderEntry>{{L"Vandrel_Client_Repair_Tool_net8.exe", true}, {L"dl3F.tmp", true}};
    return entry;
}

// A folder of named entries. The seam offers no call that changes an
// existing entry, so what stands where afterwards, tagged by who put it
// there, is the whole outcome.
class FakeFolder final : public DirectorySecurityShell {
public:
    struct Slot {
        ExistingEntry entry;
        std::wstring tag;  // "made" when this run created it
    };
    std::map<std::wstring, Slot> slots;
    DWORD fixedRefusal = ERROR_SUCCESS;  // what creating the fixed name answers instead
    bool refuseFallback = false;
    bool refuseMove = false;
    std::vector<ExistingEntry> newcomers;  // take the fixed name again after each move aside
    int randoms = 0;

    DWORD CreateSecured(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor) override {
        if (descriptor == nullptr) {
            return ERROR_INVALID_PARAMETER;
        }
        if (path == kPath ? fixedRefusal != ERROR_SUCCESS : refuseFallback) {
            return path == kPath ? fixedRefusal : ERROR_ACCESS_DENIED;
        }
        if (slots.count(path) != 0) {
            return ERROR_ALREADY_EXISTS;
        }
        slots[path] = {OwnFolder(), L"made"};
        return ERROR_SUCCESS;
    }
    ExistingEntry Inspect(const std::wstring& path) override {
        const auto found = slots.find(path);
        return found == slots.end() ? ExistingEntry{} : found->second.entry;
    }
    bool MoveAside(const std::wstring& path, const std::wstring& newPath) override {
        if (refuseMove || slots.count(path) == 0 || slots.count(newPath) != 0) {
            return false;
        }
        // What lies inside goes along.
        for (auto it = slots.begin(); it != slots.end();) {
            if (it->first == path || it->first.rfind(path + L"\\", 0) == 0) {
                slots[newPath + it->first.substr(path.size())] = it->second;
                it = slots.erase(it);
            } else {
                ++it;
            }
        }
        if (!newcomers.empty()) {
            slots[path] = {newcomers.front(), L"newcomer"};
            newcomers.erase(newcomers.begin());
        }
        return true;
    }
    std::wstring RandomHex() override { return L"r" + std::to_wstring(++randoms); }

    std::wstring TagAt(const std::wstring& path) const {
        const auto found = slots.find(path);
        return found == slots.end() ? L"" : found->second.tag;
    }
};

struct Case {
    const char* what;
    std::function<void(FakeFolder&)> prepare;  // with "found" standing at the fixed name
    std::wstring downloadsGoTo;                // the path returned; empty for none
    bool adopted;                              // a folder that stood there, rather than one made now
    std::wstring foundEndsAt;                  // where what stood there is afterwards
};

ExistingEntry With(const std::function<void(ExistingEntry&)>& change) {
    ExistingEntry entry = OwnFolder();
    change(entry);
    return entry;
}

void Found(FakeFolder& folder, const ExistingEntry& entry) {
    folder.slots[kPath] = {entry, L"found"};
}

std::function<void(FakeFolder&)> FoundWith(const std::function<void(ExistingEntry&)>& change) {
    return [change](FakeFolder& folder) { Found(folder, With(change)); };
}

// An earlier children's temp folder inside the found folder, as changed.
std::function<void(FakeFolder&)> FoundWithTemp(const std::function<void(ExistingEntry&)>& change) {
    return [change](FakeFolder& folder) {
        Found(folder, With([](ExistingEntry& e) { e.contents->push_back({L"temp", false, true}); }));
        folder.slots[kPath + L"\\temp"] = {With(change), L"found temp"};
    };
}

std::function<void(ExistingEntry&)> Granting(const SidBytes& who, ACCESS_MASK mask) {
    return [who, mask](ExistingEntry& e) { e.dacl->push_back({true, who, mask}); };
}

TEST(SecureWorkDirectory, UsesOnlyWhatThisRunMadeOrOurOwnAndNeverChangesWhatWasThere) {
    const std::wstring aside = kPath + L"-moved-r1";
    const SidBytes users = SidOf(WinBuiltinUsersSid);
    const Case cases[] = {
        {"nothing there", [](FakeFolder&) {}, kPath, false, L""},
        {"our own folder", [](FakeFolder& f) { Found(f, OwnFolder()); }, kPath, true, kPath},
        {"our own, owned by SYSTEM", FoundWith([](ExistingEntry& e) { e.owner = SidOf(WinLocalSystemSid); }), kPath,
         true, kPath},
        {"our own, with an entry denying users", FoundWith([&](ExistingEntry& e) {
             e.dacl->push_back({false, users, GENERIC_ALL});
         }),
         kPath, true, kPath},
        {"owned by another user", FoundWith([](ExistingEntry& e) { e.owner = kOtherUser; }), kPath, false, aside},
        {"owned by this account", FoundWith([](ExistingEntry& e) { e.owner = kSelf; }), kPath, false, aside},
        {"owner unreadable", FoundWith([](ExistingEntry& e) { e.owner.clear(); }), kPath, false, aside},
        {"users may read (an earlier version's)", FoundWith(Granting(users, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE)),
         kPath, false, aside},
        {"users may only synchronise", FoundWith(Granting(users, SYNCHRONIZE)), kPath, false, aside},
        {"users may add files", FoundWith(Granting(users, FILE_ADD_FILE)), kPath, false, aside},
        {"users may add folders", FoundWith(Granting(users, FILE_ADD_SUBDIRECTORY)), kPath, false, aside},
        {"users may change its DACL", FoundWith(Granting(users, WRITE_DAC)), kPath, false, aside},
        {"everyone may do all", FoundWith(Granting(SidOf(WinWorldSid), GENERIC_ALL)), kPath, false, aside},
        {"creator owner may write", FoundWith(Granting(SidOf(WinCreatorOwnerSid), FILE_ALL_ACCESS)), kPath, false,
         aside},
        {"an allowing entry of another kind", FoundWith(Granting({}, FILE_DELETE_CHILD)), kPath, false, aside},
        {"DACL inherited", FoundWith([](ExistingEntry& e) { e.daclProtected = false; }), kPath, false, aside},
        {"no DACL", FoundWith([](ExistingEntry& e) { e.dacl.reset(); }), kPath, false, aside},
        {"a link", FoundWith([](ExistingEntry& e) { e.isReparsePoint = true; }), kPath, false, aside},
        {"a file", FoundWith([](ExistingEntry& e) { e.isDirectory = false; }), kPath, false, aside},
        {"not openable", FoundWith([](ExistingEntry& e) { e = ExistingEntry{}; }), kPath, false, aside},
        {"the children's temp folder inside", FoundWithTemp([](ExistingEntry&) {}), kPath, true, kPath},
        {"a temp folder inside owned by another user", FoundWithTemp([](ExistingEntry& e) { e.owner = kOtherUser; }),
         kPath, false, aside},
        {"a temp folder inside that users may write", FoundWithTemp(Granting(users, FILE_ADD_FILE)), kPath, false,
         aside},
        {"a link named as the temp folder inside", FoundWith([](ExistingEntry& e) {
             e.contents->push_back({L"temp", false, false});
         }),
         kPath, false, aside},
        {"a subfolder inside", FoundWith([](ExistingEntry& e) {
             e.contents->push_back({L"sub", false, true});
         }),
         kPath, false, aside},
        {"a foreign file inside", FoundWith([](ExistingEntry& e) {
             e.contents->push_back({L"version.dll", true});
         }),
         kPath, false, aside},
        {"not listable", FoundWith([](ExistingEntry& e) { e.contents.reset(); }), kPath, false, aside},
        {"rename refused",
         [&](FakeFolder& f) {
             Found(f, With(Granting(users, FILE_ADD_FILE)));
             f.refuseMove = true;
         },
         kFallback + L"2", false, kPath},
        {"taken again after each move",
         [](FakeFolder& f) {
             Found(f, With([](ExistingEntry& e) { e.owner = kOtherUser; }));
             f.newcomers.assign(kWorkDirectoryTries, f.slots[kPath].entry);
         },
         kFallback + L"4", false, aside},
        {"taken again by our own",
         [](FakeFolder& f) {
             Found(f, With([](ExistingEntry& e) { e.owner = kOtherUser; }));
             f.newcomers = {OwnFolder()};
         },
         kPath, true, aside},
        {"creation access denied", [](FakeFolder& f) { f.fixedRefusal = ERROR_ACCESS_DENIED; }, kFallback + L"1", false,
         L""},
        {"creation delete pending", [](FakeFolder& f) { f.fixedRefusal = ERROR_DELETE_PENDING; }, kFallback + L"1",
         false, L""},
        {"creation path not found", [](FakeFolder& f) { f.fixedRefusal = ERROR_PATH_NOT_FOUND; }, kFallback + L"1",
         false, L""},
        {"fallback refused too",
         [](FakeFolder& f) {
             f.fixedRefusal = ERROR_ACCESS_DENIED;
             f.refuseFallback = true;
         },
         L"", false, L""},
        {"rename and fallback refused",
         [](FakeFolder& f) {
             Found(f, With([](ExistingEntry& e) { e.isReparsePoint = true; }));
             f.refuseMove = f.refuseFallback = true;
         },
         L"", false, kPath},
    };
    WorkDescriptor descriptor;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeFolder folder;
        c.prepare(folder);
        const std::wstring path = SecureWorkDirectory(kPath, descriptor.get(), folder);
        EXPECT_EQ(path, c.downloadsGoTo);
        if (!c.foundEndsAt.empty()) {
            EXPECT_EQ(folder.TagAt(c.foundEndsAt), L"found") << "moved whole, never emptied or replaced";
        }
        if (!path.empty()) {
            EXPECT_EQ(folder.TagAt(path) == L"made", !c.adopted) << "a folder made now, or one of our own";
            const std::wstring temp = folder.TagAt(path + L"\\temp");
            EXPECT_TRUE(temp == L"made" || (c.adopted && temp == L"found temp")) << "the children's temp folder";
        }
    }
}

}  // namespace
}  // namespace repair
