#pragma once

#include <string>
#include <vector>

namespace repair {

// What stands beside the program under a name the loader takes redirections
// from: <program file name>.local. A folder of that name is searched before
// the side-by-side store for every assembly the program's manifest depends
// on (Common Controls), so whoever can write the program's folder could have
// the first window load a DLL of theirs as administrator, while the
// activation context still names the store's assembly.
enum class RedirectionEntry {
    kNone,
    kFolder,    // a folder, a reparse point, or what could not be told apart
    kFile,      // a file that nobody holds
    kHeldFile,  // a file held open without sharing: another run's own hold
};

// Looks and holds; faked in tests.
class RedirectionShell {
public:
    virtual ~RedirectionShell() = default;
    // What stands in folder under name, in any letter case.
    virtual RedirectionEntry Inspect(const std::wstring& folder, const std::wstring& name) = 0;
    // Makes a file of that name, unshared and deleted when closed, and holds
    // it; false when it cannot (the folder not writable, the name taken).
    virtual bool Claim(const std::wstring& folder, const std::wstring& name) = 0;
    // Deletes a file of that name; false when it cannot.
    virtual bool Remove(const std::wstring& folder, const std::wstring& name) = 0;
};

// Whether the run may go on: no folder and no unheld file under any of names
// (the program's long and short file names with ".local") beside it. A file
// that nobody holds is removed first where it can be: a run that lost power
// leaves its hold behind, and a file redirects nothing for a program with a
// manifest; one that stays stops the run all the same. Where
// the folder can be written, the first name is then held for the whole run,
// so that no folder of that name can appear while it lasts; where it cannot,
// nobody without administrator rights can make one either. A second look
// after the claim catches a folder made between the first and the claim.
bool HoldRedirectionName(RedirectionShell& shell, const std::wstring& folder, const std::vector<std::wstring>& names);

// The same for this process, beside its own file; the hold lasts until
// ReleaseRedirectionName or the process's end.
bool HoldRedirectionName();
// Before this process starts another copy of itself, which looks for the
// same name and would find this process's hold.
void ReleaseRedirectionName();

}  // namespace repair
