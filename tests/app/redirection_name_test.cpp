#include "app/redirection_name.h"

#include <gtest/gtest.h>

#include <map>

namespace repair {
namespace {

using Entry = RedirectionEntry;

// What each name shows on the first look, and from the claim on.
class FakeRedirection final : public RedirectionShell {
public:
    std::map<std::wstring, std::pair<Entry, Entry>> entries;
    bool writable = true;
    std::vector<std::wstring> claimed;

    Entry Inspect(const std::wstring&, const std::wstring& name) override {
        const auto found = entries.find(name);
        if (found == entries.end()) {
            return claimed.empty() || claimed.front() != name ? Entry::kNone : Entry::kHeldFile;
        }
        return claimed.empty() && !claimTried ? found->second.first : found->second.second;
    }
    bool Claim(const std::wstring&, const std::wstring& name) override {
        claimTried = true;
        if (!writable || entries.count(name) != 0) {
            return false;
        }
        claimed.push_back(name);
        return true;
    }

private:
    bool claimTried = false;
};

TEST(HoldRedirectionName, GoesOnOnlyWithNoFolderOrLooseFileUnderEitherNameAndHoldsTheLongOne) {
    const std::wstring kLong = L"修复工具.exe.local";
    const std::wstring kShort = L"E0F5~1.EXE.local";
    struct Case {
        const char* what;
        std::map<std::wstring, std::pair<Entry, Entry>> entries;
        bool writable;
        bool goesOn;
        bool held;
    };
    const Case cases[] = {
        {"nothing there", {}, true, true, true},
        {"a folder (an assembly subfolder inside)", {{kLong, {Entry::kFolder, Entry::kFolder}}}, true, false, false},
        {"a folder under the short name", {{kShort, {Entry::kFolder, Entry::kFolder}}}, true, false, false},
        {"a file nobody holds", {{kLong, {Entry::kFile, Entry::kFile}}}, true, false, false},
        {"another run's hold (a second start)", {{kLong, {Entry::kHeldFile, Entry::kHeldFile}}}, true, true, false},
        {"a folder made between the look and the claim", {{kLong, {Entry::kNone, Entry::kFolder}}}, true, false, false},
        {"a folder only administrators can write", {}, false, true, false},
    };
    for (const Case& c : cases) {
        FakeRedirection shell;
        shell.entries = c.entries;
        shell.writable = c.writable;
        EXPECT_EQ(HoldRedirectionName(shell, L"D:\\Games\\Vandrel\\", {kLong, kShort}), c.goesOn) << c.what;
        EXPECT_EQ(shell.claimed == std::vector<std::wstring>{kLong}, c.held) << c.what;
    }
    FakeRedirection shell;
    EXPECT_FALSE(HoldRedirectionName(shell, L"", {kLong})) << "no folder known";
}

}  // namespace
}  // namespace repair
