#include "util/busy_retry.h"

#include "util/message_pump.h"

namespace repair {
namespace {

constexpr DWORD kFirstPauseMs = 50;
constexpr DWORD kLongestPauseMs = 2000;

unsigned gBusyRetries = 0;

}  // namespace

bool IsBusyFileError(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
}

bool IsTransientStartError(DWORD error) {
    return IsBusyFileError(error) || error == ERROR_INTERNAL_ERROR || error == ERROR_NOT_ENOUGH_MEMORY ||
           error == ERROR_OUTOFMEMORY || error == ERROR_NO_SYSTEM_RESOURCES || error == ERROR_COMMITMENT_LIMIT ||
           error == ERROR_NOT_ENOUGH_QUOTA;
}

DWORD BusyPauseMs(unsigned attempt, DWORD elapsedMs) {
    if (elapsedMs >= kBusyBudgetMs) {
        return 0;
    }
    DWORD pause = kLongestPauseMs;
    if (attempt < 6) {
        pause = kFirstPauseMs << attempt;
        pause = pause < kLongestPauseMs ? pause : kLongestPauseMs;
    }
    const DWORD left = kBusyBudgetMs - elapsedMs;
    return pause < left ? pause : left;
}

const RetryClock& PumpingRetryClock() {
    static const RetryClock clock{[] { return GetTickCount64(); }, [](DWORD ms) { PausePumping(ms); }};
    return clock;
}

DWORD RetryWhileBusy(const std::function<DWORD()>& operation, const RetryClock& clock, bool (*worthRetrying)(DWORD)) {
    const ULONGLONG start = clock.now();
    for (unsigned attempt = 0;; ++attempt) {
        const DWORD error = operation();
        if (error == ERROR_SUCCESS || !worthRetrying(error)) {
            return error;
        }
        const ULONGLONG elapsed = clock.now() - start;
        const DWORD pause =
            BusyPauseMs(attempt, elapsed >= kBusyBudgetMs ? kBusyBudgetMs : static_cast<DWORD>(elapsed));
        if (pause == 0) {
            return error;
        }
        ++gBusyRetries;
        clock.pause(pause);
    }
}

unsigned BusyRetriesSoFar() {
    return gBusyRetries;
}

}  // namespace repair
