#include "util/message_pump.h"

#include "util/scoped.h"

namespace repair {
namespace {

// Short enough that a window never looks hung even when no input arrives to
// wake the wait.
constexpr DWORD kPumpSliceMs = 100;

DWORD WINAPI RunWork(void* parameter) {
    (*static_cast<const std::function<void()>*>(parameter))();
    return 0;
}

}  // namespace

void PumpMessages() {
    MSG message = {};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

int WaitPumping(const HANDLE* handles, DWORD count, DWORD timeoutMs) {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        const ULONGLONG elapsed = GetTickCount64() - start;
        if (timeoutMs != INFINITE && elapsed >= timeoutMs) {
            return -1;
        }
        DWORD slice = kPumpSliceMs;
        if (timeoutMs != INFINITE && timeoutMs - elapsed < slice) {
            slice = static_cast<DWORD>(timeoutMs - elapsed);
        }
        const DWORD result = MsgWaitForMultipleObjects(count, handles, FALSE, slice, QS_ALLINPUT);
        PumpMessages();
        if (result < WAIT_OBJECT_0 + count) {
            return static_cast<int>(result - WAIT_OBJECT_0);
        }
        if (result == WAIT_FAILED) {
            return -1;
        }
    }
}

void WaitUntilSignalled(HANDLE handle, PumpingWait wait) {
    if (wait(&handle, 1, INFINITE) != 0) {
        WaitForSingleObject(handle, INFINITE);
    }
}

void RunWhilePumping(const std::function<void()>& work, PumpingWait wait) {
    // work and what it refers to stay in the caller's frame: this must not
    // return before the thread has ended, whatever the pump answers.
    const ScopedHandle thread(CreateThread(nullptr, 0, RunWork, const_cast<std::function<void()>*>(&work), 0, nullptr));
    if (!thread) {
        work();
        return;
    }
    WaitUntilSignalled(thread.get(), wait);
}

void PausePumping(DWORD milliseconds) {
    WaitPumping(nullptr, 0, milliseconds);
}

}  // namespace repair
