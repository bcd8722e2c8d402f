#pragma once

#include <windows.h>

#include <string>

#include "util/scoped.h"

namespace repair {

// What WinVerifyTrust said of a file's signature and, where the signature
// itself holds, the common name of its signer's certificate, what the
// Authenticode policy says of the signer's chain as the machine's engine
// builds it, and the SHA-1 thumbprint (hex) of the root that chain ends at.
struct TrustAnswer {
    LONG result = TRUST_E_NOSIGNATURE;
    std::wstring signer;
    LONG machineChain = CERT_E_UNTRUSTEDROOT;
    std::wstring root = {};
};

// Whether WinVerifyTrust found the signature and the file's digest intact,
// whatever it made of the chain: it builds its chain from the local cache
// only, so a root that Windows has not fetched yet is left to the machine
// chain, which may fetch it.
bool SignatureHolds(LONG result);

// What the machine's chain says: a certificate known to be revoked; else
// the Authenticode policy's error, but for an unknown revocation state;
// and where the policy reports none, CERT_E_CHAINING for any error in the
// chain's own trust status but an unknown revocation state. A provider's
// policy need not map every chain error (Wine's passes a chain that stops
// short of any root). Revocation is read from the local cache alone, which
// on most machines has no CRL for the signer: that is no refusal.
LONG ChainVerdict(DWORD policyError, DWORD chainErrorStatus);

// Whether thumbprint (hex, either case) is one of roots (thumbprints
// separated by commas). Nothing matches an empty thumbprint.
bool RootAllowed(const std::wstring& thumbprint, const std::wstring& roots);

// The Authenticode check; faked in tests, since Wine accepts any well-formed
// signature whatever its root.
class TrustShell {
public:
    virtual ~TrustShell() = default;
    virtual TrustAnswer Verify(const std::wstring& path) = 0;
};

// True when the file carries an intact Authenticode signature whose signer's
// chain, built by the machine's engine (WinVerifyTrust also trusts the
// current user's Root store, which the player's unelevated session can add
// to), is trusted at the signature's time, and whose signer's common name is
// exactly publisher.
bool IsSignedBy(const std::wstring& path, const std::wstring& publisher, TrustShell& shell);

// The same, but judged by where the chain leads rather than by a name: it
// must end at one of roots. A certificate that merely calls itself the
// right name under any other root, the machine's own included, is refused.
bool IsSignedUnder(const std::wstring& path, const std::wstring& roots, TrustShell& shell);

// Opens a file for reading while denying everyone else writing, replacing
// and deleting it, so that the file checked is the file that then starts.
// Tried again for a while when the file is busy. Empty when it cannot.
ScopedHandle OpenUnchangeable(const std::wstring& path);

// The real check of the file open as file (path names it): WinVerifyTrust
// hashes the whole file, so it runs on a thread of its own while this
// thread keeps its windows answering.
bool IsSignedBy(HANDLE file, const std::wstring& path, const std::wstring& publisher);
bool IsSignedUnder(HANDLE file, const std::wstring& path, const std::wstring& roots);
// The same for a file opened here and closed again.
bool IsSignedBy(const std::wstring& path, const std::wstring& publisher);

}  // namespace repair
