#pragma once

namespace repair {

enum ExitCode : int {
    kExitCompleted = 0,      // tool ran to its end, or the work went to an elevated copy
    kExitRuntimeFailed = 1,  // .NET Desktop Runtime 8 missing and not installed
    kExitToolFailed = 2,     // repair tool not downloaded or not started
};

}  // namespace repair
