#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace repair {

// The quoted path, then one space and the arguments when there are any.
std::wstring ChildCommandLine(const std::wstring& path, const std::wstring& args);

// The folder a program lies in. Empty when the path names none.
std::wstring ChildDirectory(const std::wstring& path);

// Start-up information asking for the normal show state, or for nothing.
STARTUPINFOW ChildStartupInfo(bool showNormal);

// Runs one executable to its end, started in tempFolder (a tool that writes
// a log where it starts, and a game it starts in turn, then leave nothing in
// the folder of the downloads and hold nothing there open), with the
// machine's environment only and tempFolder as its TEMP and TMP, keeping the thread's
// windows answering and trying again for a while when the file is busy.
// tempFolder is the caller's to make and to vouch for (only the caller
// knows who else can write there); it must be a real folder, not a link,
// or the child is not started. The child's exit code as signed 32 bits, or
// -1 when it could not be started (a child exiting 0xFFFFFFFF looks the
// same). started, when given, is called as soon as CreateProcessW has
// returned.
int RunAndWait(const std::wstring& path, const std::wstring& args, bool showNormal, const std::wstring& tempFolder,
               const std::function<void()>& started = nullptr);

}  // namespace repair
