#pragma once

// The one .NET Desktop Runtime build this program installs, and whose files
// may stand in for it. The configure step, scripts/release and the tests read
// these lines as they stand (one #define each, a quoted value), so a change
// of build is an edit of this file alone. The digests are the SHA-512 that
// Microsoft publishes for each file in the release's release.json (8.0.28,
// released 2026-06-09); they are the release build's default pins.
// clang-format off
#define REPAIR_RUNTIME_VERSION L"8.0.28"
#define REPAIR_INSTALLER_FILE_X64 L"windowsdesktop-runtime-8.0.28-win-x64.exe"
#define REPAIR_INSTALLER_FILE_X86 L"windowsdesktop-runtime-8.0.28-win-x86.exe"
#define REPAIR_RUNTIME_SHA512_X64 "931e5463994ae1d4984bcc05baf940979511185ec1a9bca0a5c0e5963d290fbfe3b348e5bd804fecbe698669374a34cee20e6d1e220e275e1536d55c848fc068"
#define REPAIR_RUNTIME_SHA512_X86 "92892d960640d48900f0aafd8f6b59258827e05a507f987b243a3bc9d2f631252f2c9a4ff88603920d91d9b5e34f8ec7053f6b476512273aa7dc317f0acb3689"

// Where an installer that is not pinned must lead: Microsoft's own code-signing
// roots, by the SHA-1 thumbprints their certificates carry. Microsoft Root
// Certificate Authority 2011 (valid to 2036-03-22; Microsoft Code Signing PCA
// 2011 and 2024 issue under it) and 2010 (to 2035-06-23).
#define REPAIR_MICROSOFT_ROOTS "8F43288AD272F3103B6FB1428485EA3014C0BCFE,3B1EFD3A66EA28B16697394703A72CA340A05BD5"
// clang-format on
