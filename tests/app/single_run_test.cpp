#include "app/single_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace repair {
namespace {

class FakeGuard final : public RunGuardShell {
public:
    GuardAnswer answer{true, ERROR_SUCCESS};
    DWORD wait = WAIT_OBJECT_0;
    std::vector<std::wstring> calls;

    GuardAnswer Open(const wchar_t* name) override {
        calls.push_back(std::wstring(L"open ") + name);
        return answer;
    }
    GuardAnswer Create(const wchar_t* name) override {
        calls.push_back(std::wstring(L"create ") + name);
        return answer;
    }
    DWORD TryTake() override {
        calls.push_back(L"take");
        return wait;
    }
    void Give() override { calls.push_back(L"give"); }
};

struct GuardCase {
    const char* what;
    bool elevated;
    GuardAnswer run;
    DWORD runWait;
    GuardAnswer prompt;
    DWORD promptWait;
    bool inProgress;
    std::vector<std::wstring> runCalls;
    std::vector<std::wstring> promptCalls;
};

TEST(OtherRunInProgress, DecidesFromWhatTheGuardsAnswer) {
    const GuardAnswer ok{true, 0};
    const GuardAnswer missing{false, ERROR_FILE_NOT_FOUND};
    const GuardAnswer denied{false, ERROR_ACCESS_DENIED};
    const std::vector<std::wstring> take{L"create G", L"take"};
    const std::vector<std::wstring> takePrompt{L"create P", L"take"};
    const GuardCase cases[] = {
        {"first elevated run takes the guard", true, ok, WAIT_OBJECT_0, ok, 0, false, take, {}},
        {"a crashed run left it abandoned", true, ok, WAIT_ABANDONED, ok, 0, false, take, {}},
        {"another elevated run holds it", true, ok, WAIT_TIMEOUT, ok, 0, true, take, {}},
        {"made by an account we may not open", true, denied, 0, ok, 0, true, {L"create G"}, {}},
        {"no guard to be had never locks out", true, {false, ERROR_INVALID_HANDLE}, 0, ok, 0, false, {L"create G"}, {}},
        {"standard start, nothing on", false, missing, 0, ok, WAIT_OBJECT_0, false, {L"open G"}, takePrompt},
        {"standard start, refused: a run is on", false, denied, 0, ok, 0, true, {L"open G"}, {}},
        {"standard start, held elsewhere", false, ok, WAIT_TIMEOUT, ok, 0, true, {L"open G", L"take"}, {}},
        {"standard start, left over and free",
         false,
         ok,
         WAIT_OBJECT_0,
         ok,
         WAIT_OBJECT_0,
         false,
         {L"open G", L"take", L"give"},
         takePrompt},
        {"another start waits on the UAC prompt", false, missing, 0, ok, WAIT_TIMEOUT, true, {L"open G"}, takePrompt},
    };
    for (const GuardCase& c : cases) {
        FakeGuard run;
        run.answer = c.run;
        run.wait = c.runWait;
        FakeGuard prompt;
        prompt.answer = c.prompt;
        prompt.wait = c.promptWait;
        EXPECT_EQ(OtherRunInProgress(c.elevated, GuardNames{L"G", L"P"}, run, prompt), c.inProgress) << c.what;
        EXPECT_EQ(run.calls, c.runCalls) << c.what << ": a standard start never creates the run guard";
        EXPECT_EQ(prompt.calls, c.promptCalls) << c.what;
    }
}

}  // namespace
}  // namespace repair
