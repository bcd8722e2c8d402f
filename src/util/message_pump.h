#pragma once

#include <windows.h>

#include <functional>

namespace repair {

// Dispatches every message waiting for the calling thread's windows.
void PumpMessages();

// Waits for one of the handles while the thread's windows keep answering: a
// window that stops taking messages for a few seconds is reported hung, and
// the shell offers the player to end the program. Returns the index of the
// signalled handle, or -1 when the time ran out or the wait failed.
int WaitPumping(const HANDLE* handles, DWORD count, DWORD timeoutMs);

// WaitPumping, or a stand-in for it in tests.
using PumpingWait = int (*)(const HANDLE* handles, DWORD count, DWORD timeoutMs);

// Returns only once handle is signalled, the windows answering meanwhile
// unless the pumping wait fails: then it waits without them rather than
// return early.
void WaitUntilSignalled(HANDLE handle, PumpingWait wait = WaitPumping);

// Runs work on a thread of its own and returns once it has finished, the
// calling thread's windows answering meanwhile; runs it here when no thread
// can be had. work must not touch this thread's windows.
void RunWhilePumping(const std::function<void()>& work, PumpingWait wait = WaitPumping);

// A pause that keeps the windows answering.
void PausePumping(DWORD milliseconds);

}  // namespace repair
