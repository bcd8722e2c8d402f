#include "process/signature.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/fake_stage_services.h"
#include "process/file_digest.h"

namespace repair {
namespace {

class FakeTrust final : public TrustShell {
public:
    TrustAnswer answer;
    int asked = 0;
    TrustAnswer Verify(const std::wstring&) override {
        ++asked;
        return answer;
    }
};

constexpr LONG kOk = ERROR_SUCCESS;
const std::wstring kPublisher = L"Vandrel Games Ltd";
const std::wstring kRoot2011 = L"8F43288AD272F3103B6FB1428485EA3014C0BCFE";
const std::wstring kRoot2010 = L"3B1EFD3A66EA28B16697394703A72CA340A05BD5";
const std::wstring kRoots = kRoot2011 + L"," + kRoot2010;
const std::wstring kOtherRoot = L"0563B8630D62D75ABBC8AB1E4BDFB5A899B24D43";

TrustAnswer Answer(LONG result, const std::wstring& signer, LONG chain = CERT_E_UNTRUSTEDROOT,
                   const std::wstring& root = {}) {
    return {result, signer, chain, root};
}

TEST(IsSignedBy, OnlyAnAcceptedSignatureOfExactlyThePublisherCounts) {
    struct Case {
        const char* what;
        TrustAnswer answer;
        bool accepted;
    };
    const Case cases[] = {
        {"signed by the publisher", Answer(kOk, kPublisher, kOk, kOtherRoot), true},
        {"a root the cache lacked, fetched by the machine chain",
         Answer(static_cast<LONG>(CERT_E_UNTRUSTEDROOT), kPublisher, kOk), true},
        {"unsigned", Answer(static_cast<LONG>(TRUST_E_NOSIGNATURE), L""), false},
        {"changed after signing", Answer(static_cast<LONG>(TRUST_E_BAD_DIGEST), kPublisher, kOk), false},
        {"root untrusted by the machine too", Answer(static_cast<LONG>(CERT_E_UNTRUSTEDROOT), kPublisher), false},
        {"known to be revoked", Answer(kOk, kPublisher, static_cast<LONG>(CRYPT_E_REVOKED)), false},
        {"root only in the user's store", Answer(kOk, kPublisher, static_cast<LONG>(CERT_E_UNTRUSTEDROOT)), false},
        {"machine chain expired", Answer(kOk, kPublisher, static_cast<LONG>(CERT_E_EXPIRED)), false},
        {"machine chain not judged", Answer(kOk, kPublisher), false},
        {"another publisher", Answer(kOk, L"Somebody Else", kOk), false},
        {"a name that only starts alike", Answer(kOk, kPublisher + L" (Test)", kOk), false},
        {"letter case differs", Answer(kOk, L"vandrel games ltd", kOk), false},
        {"no common name", Answer(kOk, L"", kOk), false},
    };
    for (const Case& c : cases) {
        FakeTrust trust;
        trust.answer = c.answer;
        EXPECT_EQ(IsSignedBy(L"x.exe", kPublisher, trust), c.accepted) << c.what;
        EXPECT_EQ(trust.asked, 1) << c.what;
    }
    FakeTrust trust;
    trust.answer = Answer(kOk, L"", kOk);
    EXPECT_FALSE(IsSignedBy(L"x.exe", L"", trust)) << "no publisher names nobody, not everybody";
}

TEST(IsSignedUnder, TheRootDecidesNotTheSignersName) {
    struct Case {
        const char* what;
        TrustAnswer answer;
        bool accepted;
    };
    const Case cases[] = {
        {".NET's own signer under the 2011 root", Answer(kOk, L".NET", kOk, kRoot2011), true},
        {"the older signer name under the 2010 root", Answer(kOk, L"Microsoft Corporation", kOk, kRoot2010), true},
        {"any name under an allowed root", Answer(kOk, L"Contoso", kOk, kRoot2011), true},
        {"the thumbprint in lower case", Answer(kOk, L".NET", kOk, L"8f43288ad272f3103b6fb1428485ea3014c0bcfe"), true},
        {".NET under a root the machine trusts", Answer(kOk, L".NET", kOk, kOtherRoot), false},
        {"Microsoft Corporation under such a root", Answer(kOk, L"Microsoft Corporation", kOk, kOtherRoot), false},
        {"an allowed root, the chain expired", Answer(kOk, L".NET", static_cast<LONG>(CERT_E_EXPIRED), kRoot2011),
         false},
        {"an allowed root, the file changed", Answer(static_cast<LONG>(TRUST_E_BAD_DIGEST), L".NET", kOk, kRoot2011),
         false},
        {"a root that only starts alike", Answer(kOk, L".NET", kOk, kRoot2011.substr(0, 39)), false},
        {"no root read", Answer(kOk, L".NET", kOk, L""), false},
    };
    for (const Case& c : cases) {
        FakeTrust trust;
        trust.answer = c.answer;
        EXPECT_EQ(IsSignedUnder(L"x.exe", kRoots, trust), c.accepted) << c.what;
    }
    EXPECT_FALSE(RootAllowed(L"", L",")) << "an empty entry allows nothing";
}

TEST(ChainVerdict, RevocationRefusesOnlyWhenKnownAndHidesNoOtherError) {
    constexpr DWORD kUnknown = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;
    struct Case {
        const char* what;
        DWORD policy;
        DWORD chain;
        LONG verdict;
    };
    const Case cases[] = {
        {"all well", ERROR_SUCCESS, CERT_TRUST_NO_ERROR, kOk},
        {"no CRL in the cache", ERROR_SUCCESS, kUnknown, kOk},
        {"a policy that still reports it", static_cast<DWORD>(CRYPT_E_REVOCATION_OFFLINE), kUnknown, kOk},
        {"known revoked, the policy silent", ERROR_SUCCESS, CERT_TRUST_IS_REVOKED, static_cast<LONG>(CRYPT_E_REVOKED)},
        {"known revoked", static_cast<DWORD>(CRYPT_E_REVOKED), CERT_TRUST_IS_REVOKED,
         static_cast<LONG>(CRYPT_E_REVOKED)},
        {"unknown revocation beside a chain that stops short", static_cast<DWORD>(CERT_E_REVOCATION_FAILURE),
         kUnknown | CERT_TRUST_IS_PARTIAL_CHAIN, CERT_E_CHAINING},
        {"a chain that stops short, which Wine's policy passes", ERROR_SUCCESS, CERT_TRUST_IS_PARTIAL_CHAIN,
         CERT_E_CHAINING},
        {"the policy's own error first", static_cast<DWORD>(CERT_E_UNTRUSTEDROOT), CERT_TRUST_IS_UNTRUSTED_ROOT,
         static_cast<LONG>(CERT_E_UNTRUSTEDROOT)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChainVerdict(c.policy, c.chain), c.verdict) << c.what;
    }
}

TEST(FetchTrusted, TheFirstRequirementSetDecidesAloneAndWhatFailsIsDeleted) {
    struct Case {
        const char* what;
        Requirement required;
        bool downloads;
        bool signatureHolds;
        bool digestMatches;
        bool result;
        FakeCalls tail;
    };
    const std::wstring verify = L"verify W\\t.exe | " + kPublisher;
    const std::wstring under = L"under W\\t.exe | " + kRoots;
    const std::wstring digest = L"digest W\\t.exe | ab12";
    const std::wstring removed = L"delete W\\t.exe";
    const Case cases[] = {
        {"nothing set: not checked", {}, true, false, false, true, {}},
        {"signed by the publisher", {L"", L"", kPublisher}, true, true, false, true, {verify}},
        {"not the publisher's", {L"", L"", kPublisher}, true, false, true, false, {verify, removed}},
        {"download failed: nothing to check", {L"ab12", kRoots, L""}, false, true, true, false, {}},
        {"unpinned, under an allowed root", {L"", kRoots, L""}, true, true, false, true, {under}},
        {"unpinned, under no allowed root", {L"", kRoots, L""}, true, false, true, false, {under, removed}},
        {"pinned: an expired, foreign or missing signature is not looked at",
         {L"ab12", kRoots, L""},
         true,
         false,
         true,
         true,
         {digest}},
        {"pinned, another digest however well signed",
         {L"ab12", kRoots, L""},
         true,
         true,
         false,
         false,
         {digest, removed}},
    };
    for (const Case& c : cases) {
        FakeStageServices services;
        services.downloadSucceeds = c.downloads;
        services.signatureMatches = c.signatureHolds;
        services.digestMatches = c.digestMatches;
        EXPECT_EQ(FetchTrusted(services, L"http://h/t.exe", L"W\\t.exe", L"S", L"D", c.required), c.result) << c.what;
        ASSERT_FALSE(services.calls.empty());
        EXPECT_EQ(FakeCalls(services.calls.begin() + 1, services.calls.end()), c.tail) << c.what;
    }
}

TEST(SameDigest, EqualHexOfExactly128DigitsInEitherCase) {
    const std::wstring lower = std::wstring(64, L'a') + std::wstring(64, L'0');
    const std::wstring upper = std::wstring(64, L'A') + std::wstring(64, L'0');
    EXPECT_TRUE(SameDigest(lower, lower));
    EXPECT_TRUE(SameDigest(lower, upper));
    std::wstring other = lower;
    other[127] = L'1';
    EXPECT_FALSE(SameDigest(lower, other)) << "the last digit differs";
    EXPECT_FALSE(SameDigest(L"", L"")) << "nothing computed matches no empty pin";
    EXPECT_FALSE(SameDigest(lower.substr(1), lower.substr(1))) << "127 digits";
    std::wstring notHex = lower;
    notHex[0] = L'g';
    EXPECT_FALSE(SameDigest(notHex, notHex));
}

}  // namespace
}  // namespace repair
