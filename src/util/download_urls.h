#pragma once

namespace repair {

// Whole URLs fixed when the program is configured (REPAIR_DOWNLOAD_BASE);
// defined in a generated source file so each build variant gets its own.
extern const wchar_t kInstallerUrlX64[];
extern const wchar_t kInstallerUrlX86[];
extern const wchar_t kToolUrlX64[];
extern const wchar_t kToolUrlX86[];

}  // namespace repair
