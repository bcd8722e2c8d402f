// The chain's URL retrieval timeout is one of CERT_CHAIN_PARA's later fields.
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
#include "process/signature.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <algorithm>
#include <cwctype>
#include <memory>

#include "util/busy_retry.h"
#include "util/constants.h"
#include "util/message_pump.h"
#include "util/system_library.h"

namespace repair {
namespace {

bool RevocationUnknown(LONG result) {
    return result == static_cast<LONG>(CERT_E_REVOCATION_FAILURE) ||
           result == static_cast<LONG>(CRYPT_E_REVOCATION_OFFLINE) ||
           result == static_cast<LONG>(CRYPT_E_NO_REVOCATION_CHECK);
}

// One WinVerifyTrust session: its state is closed again on every path. A
// file is never accepted when wintrust or crypt32 cannot be had.
class TrustSession {
public:
    TrustSession(HANDLE file, const std::wstring& path)
        : verify_(REPAIR_SYSTEM_FUNCTION(kWintrustDll, WinVerifyTrust)) {
        file_.cbStruct = sizeof(file_);
        file_.pcwszFilePath = path.c_str();
        file_.hFile = file;
        data_.cbStruct = sizeof(data_);
        data_.dwUIChoice = WTD_UI_NONE;
        // Revocation is the machine chain's to judge, from the cache.
        data_.fdwRevocationChecks = WTD_REVOKE_NONE;
        data_.dwUnionChoice = WTD_CHOICE_FILE;
        data_.pFile = &file_;
        data_.dwStateAction = WTD_STATEACTION_VERIFY;
        // No network here, so no unbounded wait: a root this machine has not
        // met yet is fetched by the machine chain, within its own timeout.
        data_.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_NONE;
        if (verify_ != nullptr) {
            result_ = verify_(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
        }
    }
    ~TrustSession() {
        if (verify_ != nullptr) {
            data_.dwStateAction = WTD_STATEACTION_CLOSE;
            verify_(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
        }
    }
    TrustSession(const TrustSession&) = delete;
    TrustSession& operator=(const TrustSession&) = delete;

    LONG result() const { return result_; }

    // The common name of the certificate that signed the file.
    std::wstring SignerName() const {
        const auto nameOf = REPAIR_SYSTEM_FUNCTION(kCrypt32Dll, CertGetNameStringW);
        const PCCERT_CONTEXT certificate = SignerCertificate();
        if (certificate == nullptr || nameOf == nullptr) {
            return {};
        }
        wchar_t name[256] = {};
        nameOf(certificate, CERT_NAME_ATTR_TYPE, 0, const_cast<char*>(szOID_COMMON_NAME), name, 256);
        return name;
    }

    // The signer's chain as the local-machine engine builds it, with the
    // signature's own certificates as the only other source, at the time
    // WinVerifyTrust judged the signature (its time stamp's, when it has
    // one), under the Authenticode policy. Missing certificates and roots
    // may be fetched (Windows' automatic root update; few code-signing roots
    // ship in a new Windows' store), each within kChainRetrievalTimeoutMs;
    // revocation comes from the cache. root gets the thumbprint of the
    // certificate the chain ends at.
    LONG MachineChainResult(std::wstring& root) const {
        const auto openStore = REPAIR_SYSTEM_FUNCTION(kCrypt32Dll, CertOpenStore);
        const auto closeStore = REPAIR_SYSTEM_FUNCTION(kCrypt32Dll, CertCloseStore);
        const auto getChain = REPAIR_SYSTEM_FUNCTION(kCrypt32Dll, CertGetCertificateChain);
        const auto freeChain = REPAIR_SYSTEM_FUNCTION(kCrypt32Dll, CertFreeCertificateChain);
        const auto verifyPolicy = REPAIR_SYSTEM_FUNCTION(kCrypt32Dll, CertVerifyCertificateChainPolicy);
        const auto property = REPAIR_SYSTEM_FUNCTION(kCrypt32Dll, CertGetCertificateContextProperty);
        const CRYPT_PROVIDER_DATA* provider = ProviderData();
        const CRYPT_PROVIDER_SGNR* signer = Signer();
        const PCCERT_CONTEXT certificate = SignerCertificate();
        if (!openStore || !closeStore || !getChain || !freeChain || !verifyPolicy || !property ||
            certificate == nullptr || provider == nullptr || provider->hMsg == nullptr) {
            return CERT_E_UNTRUSTEDROOT;
        }
        const auto closeWith = [closeStore](HCERTSTORE store) { closeStore(store, 0); };
        const std::unique_ptr<void, decltype(closeWith)> own(
            openStore(CERT_STORE_PROV_MSG, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, 0, provider->hMsg), closeWith);
        if (!own) {
            return CERT_E_UNTRUSTEDROOT;
        }
        char codeSigning[] = szOID_PKIX_KP_CODE_SIGNING;
        LPSTR usages[] = {codeSigning};
        CERT_CHAIN_PARA para = {};
        para.cbSize = sizeof(para);
        para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
        para.RequestedUsage.Usage.cUsageIdentifier = 1;
        para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
        para.dwUrlRetrievalTimeout = kChainRetrievalTimeoutMs;
        FILETIME at = signer->sftVerifyAsOf;
        PCCERT_CHAIN_CONTEXT raw = nullptr;
        if (getChain(HCCE_LOCAL_MACHINE, certificate, &at, own.get(), &para,
                     CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT | CERT_CHAIN_REVOCATION_CHECK_CACHE_ONLY, nullptr,
                     &raw) == FALSE ||
            raw == nullptr) {
            return CERT_E_UNTRUSTEDROOT;
        }
        const std::unique_ptr<const CERT_CHAIN_CONTEXT, decltype(freeChain)> chain(raw, freeChain);
        CERT_CHAIN_POLICY_PARA policy = {};
        policy.cbSize = sizeof(policy);
        policy.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS;
        CERT_CHAIN_POLICY_STATUS status = {};
        status.cbSize = sizeof(status);
        if (verifyPolicy(CERT_CHAIN_POLICY_AUTHENTICODE, chain.get(), &policy, &status) == FALSE) {
            return CERT_E_UNTRUSTEDROOT;
        }
        if (chain->cChain > 0 && chain->rgpChain[0]->cElement > 0) {
            const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
            BYTE hash[20] = {};
            DWORD size = sizeof(hash);
            if (property(simple->rgpElement[simple->cElement - 1]->pCertContext, CERT_SHA1_HASH_PROP_ID, hash, &size) !=
                    FALSE &&
                size == sizeof(hash)) {
                static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
                for (const BYTE b : hash) {
                    root += kHex[b >> 4];
                    root += kHex[b & 0xF];
                }
            }
        }
        return ChainVerdict(status.dwError, chain->TrustStatus.dwErrorStatus);
    }

private:
    CRYPT_PROVIDER_DATA* ProviderData() const {
        const auto providerData = REPAIR_SYSTEM_FUNCTION(kWintrustDll, WTHelperProvDataFromStateData);
        return providerData ? providerData(data_.hWVTStateData) : nullptr;
    }
    CRYPT_PROVIDER_SGNR* Signer() const {
        const auto signerOf = REPAIR_SYSTEM_FUNCTION(kWintrustDll, WTHelperGetProvSignerFromChain);
        CRYPT_PROVIDER_DATA* provider = ProviderData();
        return provider && signerOf ? signerOf(provider, 0, FALSE, 0) : nullptr;
    }
    PCCERT_CONTEXT SignerCertificate() const {
        const auto certificateOf = REPAIR_SYSTEM_FUNCTION(kWintrustDll, WTHelperGetProvCertFromChain);
        CRYPT_PROVIDER_SGNR* signer = Signer();
        CRYPT_PROVIDER_CERT* certificate = signer && certificateOf ? certificateOf(signer, 0) : nullptr;
        return certificate ? certificate->pCert : nullptr;
    }

    decltype(&::WinVerifyTrust) verify_;
    GUID action_ = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    WINTRUST_FILE_INFO file_ = {};
    WINTRUST_DATA data_ = {};
    LONG result_ = TRUST_E_NOSIGNATURE;
};

class Win32Trust final : public TrustShell {
public:
    explicit Win32Trust(HANDLE file) : file_(file) {}

    TrustAnswer Verify(const std::wstring& path) override {
        const TrustSession session(file_, path);
        TrustAnswer answer;
        answer.result = session.result();
        if (SignatureHolds(answer.result)) {
            answer.signer = session.SignerName();
            answer.machineChain = session.MachineChainResult(answer.root);
        }
        return answer;
    }

private:
    HANDLE file_;
};

}  // namespace

bool SignatureHolds(LONG result) {
    return result == ERROR_SUCCESS || result == static_cast<LONG>(CERT_E_UNTRUSTEDROOT) ||
           result == static_cast<LONG>(CERT_E_CHAINING);
}

LONG ChainVerdict(DWORD policyError, DWORD chainErrorStatus) {
    constexpr DWORD kUnknownRevocation = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;
    if ((chainErrorStatus & CERT_TRUST_IS_REVOKED) != 0) {
        return CRYPT_E_REVOKED;
    }
    if (policyError != ERROR_SUCCESS && !RevocationUnknown(static_cast<LONG>(policyError))) {
        return static_cast<LONG>(policyError);
    }
    return (chainErrorStatus & ~kUnknownRevocation) == CERT_TRUST_NO_ERROR ? ERROR_SUCCESS : CERT_E_CHAINING;
}

bool RootAllowed(const std::wstring& thumbprint, const std::wstring& roots) {
    if (thumbprint.empty()) {
        return false;
    }
    std::size_t begin = 0;
    while (begin <= roots.size()) {
        const std::size_t end = std::min(roots.find(L',', begin), roots.size());
        const std::wstring root = roots.substr(begin, end - begin);
        if (root.size() == thumbprint.size() &&
            std::equal(root.begin(), root.end(), thumbprint.begin(),
                       [](wchar_t a, wchar_t b) { return std::towupper(a) == std::towupper(b); })) {
            return true;
        }
        begin = end + 1;
    }
    return false;
}

namespace {

bool Trusted(const TrustAnswer& answer) {
    return SignatureHolds(answer.result) && answer.machineChain == ERROR_SUCCESS;
}

}  // namespace

bool IsSignedBy(const std::wstring& path, const std::wstring& publisher, TrustShell& shell) {
    if (publisher.empty()) {
        return false;
    }
    const TrustAnswer answer = shell.Verify(path);
    return Trusted(answer) && answer.signer == publisher;
}

bool IsSignedUnder(const std::wstring& path, const std::wstring& roots, TrustShell& shell) {
    const TrustAnswer answer = shell.Verify(path);
    return Trusted(answer) && RootAllowed(answer.root, roots);
}

ScopedHandle OpenUnchangeable(const std::wstring& path) {
    ScopedHandle file;
    // A scanner may still hold the file it has just seen written.
    RetryWhileBusy([&] {
        const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            return GetLastError();
        }
        file.reset(handle);
        return static_cast<DWORD>(ERROR_SUCCESS);
    });
    return file;
}

namespace {

// WinVerifyTrust hashes the whole file: a check of its own thread.
template <typename Check>
bool CheckWhilePumping(HANDLE file, const Check& check) {
    bool accepted = false;
    RunWhilePumping([&] {
        Win32Trust shell(file);
        accepted = check(shell);
    });
    return accepted;
}

}  // namespace

bool IsSignedBy(HANDLE file, const std::wstring& path, const std::wstring& publisher) {
    return CheckWhilePumping(file, [&](TrustShell& shell) { return IsSignedBy(path, publisher, shell); });
}

bool IsSignedUnder(HANDLE file, const std::wstring& path, const std::wstring& roots) {
    return CheckWhilePumping(file, [&](TrustShell& shell) { return IsSignedUnder(path, roots, shell); });
}

bool IsSignedBy(const std::wstring& path, const std::wstring& publisher) {
    const ScopedHandle file = OpenUnchangeable(path);
    return file && IsSignedBy(file.get(), path, publisher);
}

}  // namespace repair
