#pragma once

#include <windows.h>

#include <functional>

namespace repair {

// Antivirus scanners, and a program that has only just ended, hold a fresh
// executable for a moment: Windows then refuses to open, start or replace it
// with one of these codes. A file that is no program is refused with other
// codes and is not worth waiting for.
bool IsBusyFileError(DWORD error);

// A start the system could not complete for the moment: a busy file, or a
// new process that died before it was set up (Wine answers an internal
// error for one that a loaded machine could not start), or no memory or
// resources left for it. The program never ran, so it can be tried again.
bool IsTransientStartError(DWORD error);

// How long to keep trying a busy file, and the pauses between the tries:
// short at first, growing, never past the budget.
inline constexpr DWORD kBusyBudgetMs = 10000;
DWORD BusyPauseMs(unsigned attempt, DWORD elapsedMs);

// What the retry loop needs from the system; faked in tests.
struct RetryClock {
    std::function<ULONGLONG()> now;
    std::function<void(DWORD)> pause;
};

// The real clock: GetTickCount64, and a pause that keeps windows answering.
const RetryClock& PumpingRetryClock();

// Runs an operation that answers ERROR_SUCCESS or an error code, again while
// the error is worth waiting out and the budget lasts. The last answer is
// returned.
DWORD RetryWhileBusy(const std::function<DWORD()>& operation, const RetryClock& clock = PumpingRetryClock(),
                     bool (*worthRetrying)(DWORD) = IsBusyFileError);

// How many pauses the retries of this process have made so far.
unsigned BusyRetriesSoFar();

}  // namespace repair
