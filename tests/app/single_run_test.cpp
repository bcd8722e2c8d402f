#include "app/single_run.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/sids.h"

namespace repair {
namespace {

const SidBytes kUsers = SidOf(WinBuiltinUsersSid);

class FakeGuard final : public RunGuardShell {
public:
    GuardAnswer answer{true, ERROR_SUCCESS};
    DWORD wait = WAIT_OBJECT_0;
    SidBytes owner = kAdministrators;
    std::optional<bool> held = true;
    std::vector<std::wstring> calls;

    GuardAnswer Open(const wchar_t* name) override {
        calls.push_back(std::wstring(L"open ") + name);
        return answer;
    }
    GuardAnswer Create(const wchar_t* name) override {
        calls.push_back(std::wstring(L"create ") + name);
        return answer;
    }
    SidBytes Owner() override { return owner; }
    std::optional<bool> IsHeld() override { return held; }
    DWORD TryTake() override {
        calls.push_back(L"take");
        return wait;
    }
};

TEST(IsGenuineGuardOwner, OnlyAdministratorsOrSystem) {
    EXPECT_TRUE(IsGenuineGuardOwner(kAdministrators));
    EXPECT_TRUE(IsGenuineGuardOwner(SidOf(WinLocalSystemSid)));
    EXPECT_FALSE(IsGenuineGuardOwner(kUsers));
    EXPECT_FALSE(IsGenuineGuardOwner(SidOf(WinWorldSid)));
    EXPECT_FALSE(IsGenuineGuardOwner({})) << "unread";
}

struct GuardCase {
    const char* what;
    bool elevated;
    GuardAnswer run;
    DWORD runWait;
    SidBytes runOwner;
    std::optional<bool> runHeld;
    GuardAnswer prompt;
    DWORD promptWait;
    bool inProgress;
    std::vector<std::wstring> runCalls;
    std::vector<std::wstring> promptCalls;
};

TEST(OtherRunInProgress, DecidesFromWhatTheGuardsAnswer) {
    const GuardAnswer ok{true, 0};
    const GuardAnswer existed{true, ERROR_ALREADY_EXISTS};
    const GuardAnswer missing{false, ERROR_FILE_NOT_FOUND};
    const GuardAnswer denied{false, ERROR_ACCESS_DENIED};
    const auto admins = kAdministrators;
    const std::vector<std::wstring> take{L"create G", L"take"};
    const std::vector<std::wstring> takePrompt{L"create P", L"take"};
    const GuardCase cases[] = {
        {"first elevated run takes the guard", true, ok, WAIT_OBJECT_0, admins, true, ok, 0, false, take, {}},
        {"a crashed run left it abandoned", true, existed, WAIT_ABANDONED, admins, true, ok, 0, false, take, {}},
        {"another elevated run holds it", true, existed, WAIT_TIMEOUT, admins, true, ok, 0, true, take, {}},
        {"a user made it and holds it: passed by",
         true,
         existed,
         WAIT_TIMEOUT,
         kUsers,
         true,
         ok,
         0,
         false,
         {L"create G"},
         {}},
        {"a user made it refusing us: passed by", true, denied, 0, admins, true, ok, 0, false, {L"create G"}, {}},
        {"no guard to be had never locks out",
         true,
         {false, ERROR_INVALID_HANDLE},
         0,
         admins,
         true,
         ok,
         0,
         false,
         {L"create G"},
         {}},
        {"standard start, nothing on",
         false,
         missing,
         0,
         admins,
         true,
         ok,
         WAIT_OBJECT_0,
         false,
         {L"open G"},
         takePrompt},
        {"standard start, a genuine run holds it", false, ok, 0, admins, true, ok, 0, true, {L"open G"}, {}},
        {"standard start, state unknown: as before", false, ok, 0, admins, std::nullopt, ok, 0, true, {L"open G"}, {}},
        {"standard start, genuine but let go (kept alive by someone)",
         false,
         ok,
         0,
         admins,
         false,
         ok,
         WAIT_OBJECT_0,
         false,
         {L"open G"},
         takePrompt},
        {"standard start, a user's guard: passed by",
         false,
         ok,
         0,
         kUsers,
         true,
         ok,
         WAIT_OBJECT_0,
         false,
         {L"open G"},
         takePrompt},
        {"standard start, one we may not look at is not ours",
         false,
         denied,
         0,
         admins,
         true,
         ok,
         WAIT_OBJECT_0,
         false,
         {L"open G"},
         takePrompt},
        {"another start waits on the UAC prompt",
         false,
         missing,
         0,
         admins,
         true,
         ok,
         WAIT_TIMEOUT,
         true,
         {L"open G"},
         takePrompt},
    };
    for (const GuardCase& c : cases) {
        FakeGuard run;
        run.answer = c.run;
        run.wait = c.runWait;
        run.owner = c.runOwner;
        run.held = c.runHeld;
        FakeGuard prompt;
        prompt.answer = c.prompt;
        prompt.wait = c.promptWait;
        EXPECT_EQ(OtherRunInProgress(c.elevated, GuardNames{L"G", L"P"}, run, prompt), c.inProgress) << c.what;
        EXPECT_EQ(run.calls, c.runCalls) << c.what << ": a standard start never creates or takes the run guard";
        EXPECT_EQ(prompt.calls, c.promptCalls) << c.what;
    }
}

}  // namespace
}  // namespace repair
