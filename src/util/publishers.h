#pragma once

namespace repair {

// Whom the downloads must be signed by (the common name of the signing
// certificate), fixed when the program is configured. Empty: that download
// is run without a signature check.
extern const wchar_t kRuntimePublisher[];
extern const wchar_t kToolPublisher[];

// The SHA-512 (hex) that the runtime installer of each variant must have:
// the runtime is one build fixed when the program is built, so nothing else
// that its publisher ever signed (an older, vulnerable build) can stand in.
// Empty: not pinned.
extern const wchar_t kRuntimeSha512X64[];
extern const wchar_t kRuntimeSha512X86[];

}  // namespace repair
