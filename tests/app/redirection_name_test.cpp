#include "app/redirection_name.h"

#include <gtest/gtest.h>

#include <map>

namespace repair {
namespace {

using Entry = RedirectionEntry;

// What each name shows before the claim and after it; a name it claimed
// shows as held.
class FakeRedirection final : public RedirectionShell {
public:
    std::map<std::wstring, std::pair<Entry, Entry>> entries;
    bool writable = true;
    bool removable = false;
    bool tried = false;
    std::vector<std::wstring> claimed;

    Entry Inspect(const std::wstring&, const std::wstring& name) override {
        const auto found = entries.find(name);
        if (found != entries.end()) {
            return tried ? found->second.second : found->second.first;
        }
        return claimed == std::vector<std::wstring>{name} ? Entry::kHeldFile : Entry::kNone;
    }
    bool Remove(const std::wstring&, const std::wstring& name) override {
        return removable && entries.erase(name) == 1;
    }
    bool Claim(const std::wstring&, const std::wstring& name) override {
        tried = true;
        if (writable && entries.count(name) == 0) {
            claimed.push_back(name);
        }
        return !claimed.empty();
    }
};

TEST(HoldRedirectionName, GoesOnOnlyWithNoFolderOrLooseFileUnderEitherNameAndHoldsTheLongOne) {
    const std::wstring kLong = L"修复工具.exe.local";
    const std::wstring kShort = L"E0F5~1.EXE.local";
    const struct {
        const char* what;
        std::map<std::wstring, std::pair<Entry, Entry>> entries;
        bool writable;
        bool removable;
        bool goesOn;
        bool held;
    } cases[] = {
        {"nothing there", {}, true, true, true, true},
        {"a folder (an assembly folder inside)", {{kLong, {Entry::kFolder, Entry::kFolder}}}, true, true, false, false},
        {"a folder under the short name", {{kShort, {Entry::kFolder, Entry::kFolder}}}, true, true, false, false},
        {"a file nobody holds that stays", {{kLong, {Entry::kFile, Entry::kFile}}}, true, false, false, false},
        {"a hold a lost run left behind", {{kLong, {Entry::kFile, Entry::kFile}}}, true, true, true, true},
        {"another run's hold: a second start",
         {{kLong, {Entry::kHeldFile, Entry::kHeldFile}}},
         true,
         true,
         true,
         false},
        {"a folder made between look and claim", {{kLong, {Entry::kNone, Entry::kFolder}}}, true, true, false, false},
        {"a folder only administrators can write", {}, false, true, true, false},
    };
    for (const auto& c : cases) {
        FakeRedirection shell;
        shell.entries = c.entries;
        shell.writable = c.writable;
        shell.removable = c.removable;
        EXPECT_EQ(HoldRedirectionName(shell, L"D:\\Games\\Vandrel\\", {kLong, kShort}), c.goesOn) << c.what;
        EXPECT_EQ(shell.claimed == std::vector<std::wstring>{kLong}, c.held) << c.what;
    }
}

}  // namespace
}  // namespace repair
