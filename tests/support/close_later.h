#pragma once

#include <windows.h>

// Closes handle after ms from a thread of its own, as another program letting
// go of a file would; returns that thread, for the caller to wait on.
inline HANDLE CloseLater(HANDLE handle, DWORD ms) {
    struct Job {
        HANDLE handle;
        DWORD ms;
        static DWORD WINAPI Run(void* parameter) {
            const Job* job = static_cast<Job*>(parameter);
            Sleep(job->ms);
            CloseHandle(job->handle);
            delete job;
            return 0;
        }
    };
    return CreateThread(nullptr, 0, Job::Run, new Job{handle, ms}, 0, nullptr);
}
