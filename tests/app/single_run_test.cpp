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
    GuardAnswer answer;
    DWORD wait;
    bool inProgress;
    std::vector<std::wstring> calls;
};

TEST(OtherRunInProgress, DecidesFromWhatTheGuardAnswers) {
    const GuardCase cases[] = {
        {"first elevated run takes the guard", true, {true, 0}, WAIT_OBJECT_0, false, {L"create G", L"take"}},
        {"a crashed run left it abandoned", true, {true, 0}, WAIT_ABANDONED, false, {L"create G", L"take"}},
        {"another elevated run holds it", true, {true, 0}, WAIT_TIMEOUT, true, {L"create G", L"take"}},
        {"made by an account we may not open", true, {false, ERROR_ACCESS_DENIED}, 0, true, {L"create G"}},
        {"no guard to be had never locks out", true, {false, ERROR_INVALID_HANDLE}, 0, false, {L"create G"}},
        {"standard start, no run", false, {false, ERROR_FILE_NOT_FOUND}, 0, false, {L"open G"}},
        {"standard start, refused: a run is on", false, {false, ERROR_ACCESS_DENIED}, 0, true, {L"open G"}},
        {"standard start, held elsewhere", false, {true, 0}, WAIT_TIMEOUT, true, {L"open G", L"take"}},
        {"standard start, left over and free", false, {true, 0}, WAIT_OBJECT_0, false, {L"open G", L"take", L"give"}},
    };
    for (const GuardCase& c : cases) {
        FakeGuard guard;
        guard.answer = c.answer;
        guard.wait = c.wait;
        EXPECT_EQ(OtherRunInProgress(c.elevated, L"G", guard), c.inProgress) << c.what;
        EXPECT_EQ(guard.calls, c.calls) << c.what << ": a standard start never creates the guard";
    }
}

}  // namespace
}  // namespace repair
