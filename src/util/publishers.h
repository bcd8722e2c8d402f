#pragma once

namespace repair {

// What the downloads must be, fixed when the program is configured. Empty:
// that check is off.

// The repair tool's signer: the common name of its signing certificate.
extern const wchar_t kToolPublisher[];

// The SHA-512 (hex) that the runtime installer of each variant must have:
// the runtime is one build fixed when the program is built, so nothing else
// that its publisher ever signed (an older, vulnerable build) can stand in.
extern const wchar_t kRuntimeSha512X64[];
extern const wchar_t kRuntimeSha512X86[];
// Where an unpinned runtime installer's signature must lead: SHA-1
// thumbprints of roots, separated by commas.
extern const wchar_t kRuntimeRoots[];

}  // namespace repair
