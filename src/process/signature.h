#pragma once

#include <windows.h>

#include <string>

#include "util/scoped.h"

namespace repair {

// What WinVerifyTrust said of a file and, when it accepted it, the common
// name of its signer's certificate and what the Authenticode policy says of
// the signer's chain built from the machine's stores alone.
struct TrustAnswer {
    LONG result = TRUST_E_NOSIGNATURE;
    std::wstring signer;
    LONG machineChain = CERT_E_UNTRUSTEDROOT;
};

// What the machine's chain says: the Authenticode policy's error, and where
// the policy reports none, CERT_E_CHAINING for any error in the chain's own
// trust status. A provider's policy need not map every chain error (Wine's
// passes a chain that stops short of any root); revocation is not asked of
// this chain, so no revocation flag can stand there.
LONG ChainVerdict(DWORD policyError, DWORD chainErrorStatus);

// The Authenticode check; faked in tests, since Wine accepts any well-formed
// signature whatever its root.
class TrustShell {
public:
    virtual ~TrustShell() = default;
    // Never waits on the network: revocation and chain data come from the
    // local cache only, and revocation is left out when checkRevocation is false.
    virtual TrustAnswer Verify(const std::wstring& path, bool checkRevocation) = 0;
};

// True when the file carries an intact Authenticode signature that Windows
// trusts, its signer's chain ends in a root of the machine's own stores
// (WinVerifyTrust also trusts the current user's Root store, which the
// player's unelevated session can add to) and its signer's common name is
// exactly publisher. A certificate
// known to be revoked is refused; one whose revocation state is not in the
// cache is judged on everything else, or Microsoft's own installer would be
// refused on every machine that has not fetched the CRL.
bool IsSignedBy(const std::wstring& path, const std::wstring& publisher, TrustShell& shell);

// Opens a file for reading while denying everyone else writing, replacing
// and deleting it, so that the file checked is the file that then starts.
// Tried again for a while when the file is busy. Empty when it cannot.
ScopedHandle OpenUnchangeable(const std::wstring& path);

// The real check of the file open as file (path names it): WinVerifyTrust
// hashes the whole file, so it runs on a thread of its own while this
// thread keeps its windows answering.
bool IsSignedBy(HANDLE file, const std::wstring& path, const std::wstring& publisher);
// The same for a file opened here and closed again.
bool IsSignedBy(const std::wstring& path, const std::wstring& publisher);

}  // namespace repair
