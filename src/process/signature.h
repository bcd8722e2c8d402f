#pragma once

#include <windows.h>

#include <string>

namespace repair {

// What WinVerifyTrust said of a file, and the common name of its signer's
// certificate when it accepted it.
struct TrustAnswer {
    LONG result = TRUST_E_NOSIGNATURE;
    std::wstring signer;
};

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
// trusts and its signer's common name is exactly publisher. A certificate
// known to be revoked is refused; one whose revocation state is not in the
// cache is judged on everything else, or Microsoft's own installer would be
// refused on every machine that has not fetched the CRL.
bool IsSignedBy(const std::wstring& path, const std::wstring& publisher, TrustShell& shell);
bool IsSignedBy(const std::wstring& path, const std::wstring& publisher);

}  // namespace repair
