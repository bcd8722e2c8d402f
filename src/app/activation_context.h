#pragma once

#include <optional>
#include <string>
#include <vector>

namespace repair {

// Where the loader found one assembly of the activation context.
struct AssemblyOrigin {
    std::wstring manifestPath;
    std::wstring policyPath;
    std::wstring directoryName = {};  // where its files are loaded from: a name in the store, or a path
};

// What the process's default activation context says of itself.
struct ActivationContextReport {
    std::wstring appDirectory;               // the folder the program was started from
    std::wstring configurationPath;          // a <program>.exe.config the loader read; empty when none
    std::vector<AssemblyOrigin> assemblies;  // the program's own manifest first
    std::wstring programPath = {};           // the program's own file, whose manifest is its own
    std::wstring systemStore = {};           // the system's side-by-side store (<Windows>\WinSxS)
};

// Whether path is folder itself or lies below it: letter case ignored, whole
// components only ("C:\Game" holds "C:\game\x", not "C:\Game2\x"), every
// spelling of a path brought to one first (\\?\ and \??\ dropped,
// \\?\UNC\ read as \\). An empty folder or path holds and is held by nothing.
bool IsInsideFolder(const std::wstring& folder, const std::wstring& path);

// Whether every assembly but the program's own came from the system: none
// was read from the program's folder or below it, where any user who can
// write the game folder could have put one (a private assembly, a folder
// named by a configuration file's probing path), and no configuration file
// there steered the binding. Paths from the system's store, or none at all,
// never count against it, whatever their form, even when the program's folder
// holds the store (a program at the root of the system drive). The
// program's own assembly is the one whose manifest is the program's file.
// Nullopt, a query that failed, counts against it.
bool AssembliesComeFromTheSystem(const std::optional<ActivationContextReport>& report);

// QueryActCtxW on the process's default activation context; nullopt when
// the query fails.
std::optional<ActivationContextReport> QueryProcessActivationContext();

}  // namespace repair
