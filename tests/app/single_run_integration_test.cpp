#include <gtest/gtest.h>

#include <string>

#include "app/single_run.h"

namespace repair {
namespace {

// The real mutex calls, with names of this test's own. Under Wine every
// process is an administrator, so the standard start's look is made here
// by calling it as one; what it may open is Windows' to enforce.
class RunGuardIntegration : public ::testing::Test {
protected:
    const std::wstring run = L"Global\\VandrelRepairTestRun-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring prompt = L"Local\\VandrelRepairTestPrompt-" + std::to_wstring(GetCurrentProcessId());
    GuardNames names{run.c_str(), prompt.c_str()};

    bool StandardStartSeesARun() {
        const auto look = Win32RunGuardShell(true);
        const auto asking = Win32RunGuardShell(false);
        return OtherRunInProgress(false, names, *look, *asking);
    }
};

TEST_F(RunGuardIntegration, TheElevatedRunsGuardIsGenuineHeldAndSeenAsSuchUntilItsThreadEnds) {
    const auto elevated = Win32RunGuardShell(true);
    // Taken on a thread of its own, so that the thread's end abandons it.
    struct Context {
        RunGuardShell* shell;
        const wchar_t* name;
        HANDLE taken;
        HANDLE end;
        bool inProgress;
        static DWORD WINAPI Hold(void* parameter) {
            auto& c = *static_cast<Context*>(parameter);
            c.inProgress = OtherRunInProgress(true, GuardNames{c.name, L"Local\\unused"}, *c.shell, *c.shell);
            SetEvent(c.taken);
            WaitForSingleObject(c.end, INFINITE);
            return 0;
        }
    } context{elevated.get(), names.run, CreateEventW(nullptr, TRUE, FALSE, nullptr),
              CreateEventW(nullptr, TRUE, FALSE, nullptr), true};
    const HANDLE holder = CreateThread(nullptr, 0, Context::Hold, &context, 0, nullptr);
    ASSERT_NE(holder, nullptr);
    WaitForSingleObject(context.taken, INFINITE);
    EXPECT_FALSE(context.inProgress) << "the first run takes it";

    const auto look = Win32RunGuardShell(true);
    ASSERT_TRUE(look->Open(names.run).opened);
    EXPECT_TRUE(IsGenuineGuardOwner(look->Owner())) << "owned by Administrators as made";
    EXPECT_EQ(look->IsHeld(), std::optional<bool>(true));
    EXPECT_TRUE(StandardStartSeesARun());
    const auto second = Win32RunGuardShell(true);
    EXPECT_TRUE(OtherRunInProgress(true, names, *second, *second)) << "a second elevated start";

    SetEvent(context.end);
    WaitForSingleObject(holder, INFINITE);
    CloseHandle(holder);
    CloseHandle(context.taken);
    CloseHandle(context.end);
    // Still there (look keeps it open), but abandoned: no run is in progress.
    EXPECT_EQ(look->IsHeld(), std::optional<bool>(false));
    EXPECT_FALSE(StandardStartSeesARun());
}

TEST_F(RunGuardIntegration, AGuardAnyoneElseMadeNeverStopsARun) {
    // Made with the default security, as any user's program could: its owner
    // is that user, never Administrators (under Wine, the running account).
    const HANDLE squatter = CreateMutexW(nullptr, TRUE, names.run);
    ASSERT_NE(squatter, nullptr);
    const auto look = Win32RunGuardShell(true);
    ASSERT_TRUE(look->Open(names.run).opened);
    if (IsGenuineGuardOwner(look->Owner())) {
        GTEST_SKIP() << "this system reports Administrators as the owner of a mutex made without a descriptor";
    }
    EXPECT_FALSE(StandardStartSeesARun());
    const auto elevated = Win32RunGuardShell(true);
    EXPECT_FALSE(OtherRunInProgress(true, names, *elevated, *elevated));
    CloseHandle(squatter);
}

}  // namespace
}  // namespace repair
