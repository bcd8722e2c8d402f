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
    TrustAnswer Verify(const std::wstring&) override { return answer; }
};

constexpr LONG kOk = ERROR_SUCCESS;
const std::wstring kPublisher = L"Vandrel Games Ltd";
const std::wstring kRoot2011 = L"8F43288AD272F3103B6FB1428485EA3014C0BCFE";
const std::wstring kRoots = kRoot2011 + L",3B1EFD3A66EA28B16697394703A72CA340A05BD5";

TEST(IsSignedBy, OnlyAnAcceptedSignatureOfExactlyThePublisherCounts) {
    struct Case {
        const char* what;
        TrustAnswer answer;
        bool accepted;
    };
    const Case cases[] = {
        {"signed by the publisher", {kOk, kPublisher, kOk}, true},
        {"a root the cache lacked, fetched by the machine chain",
         {static_cast<LONG>(CERT_E_UNTRUSTEDROOT), kPublisher, kOk},
         true},
        {"unsigned", {static_cast<LONG>(TRUST_E_NOSIGNATURE), L""}, false},
        {"changed after signing", {static_cast<LONG>(TRUST_E_BAD_DIGEST), kPublisher}, false},
        {"untrusted root", {static_cast<LONG>(CERT_E_UNTRUSTEDROOT), kPublisher}, false},
        {"known to be revoked", {kOk, kPublisher, static_cast<LONG>(CRYPT_E_REVOKED)}, false},
        {"root only in the user's store", {kOk, kPublisher, static_cast<LONG>(CERT_E_UNTRUSTEDROOT)}, false},
        {"machine chain expired", {kOk, kPublisher, static_cast<LONG>(CERT_E_EXPIRED)}, false},
        {"machine chain not judged", {kOk, kPublisher}, false},
        {"another publisher", {kOk, L"Somebody Else", kOk}, false},
        {"a name that only starts alike", {kOk, kPublisher + L" (Test)", kOk}, false},
        {"letter case differs", {kOk, L"vandrel games ltd", kOk}, false},
        {"no common name", {kOk, L"", kOk}, false},
    };
    for (const Case& c : cases) {
        FakeTrust trust;
        trust.answer = c.answer;
        EXPECT_EQ(IsSignedBy(L"x.exe", kPublisher, trust), c.accepted) << c.what;
    }
}

TEST(IsSignedUnder, TheRootDecidesNotTheSignersName) {
    const std::wstring other = L"0563B8630D62D75ABBC8AB1E4BDFB5A899B24D43";
    const std::pair<TrustAnswer, bool> cases[] = {
        {{kOk, L".NET", kOk, kRoot2011}, true},
        {{kOk, L"Microsoft Corporation", kOk, L"3b1efd3a66ea28b16697394703a72ca340a05bd5"}, true},
        {{kOk, L".NET", kOk, other}, false},
        {{kOk, L"Microsoft Corporation", kOk, other}, false},
        {{kOk, L".NET", kOk, kRoot2011.substr(1)}, false},
        {{kOk, L".NET", kOk, L""}, false},
    };
    for (const auto& [answer, accepted] : cases) {
        FakeTrust trust;
        trust.answer = answer;
        EXPECT_EQ(IsSignedUnder(L"x.exe", kRoots, trust), accepted)
            << std::string(answer.root.begin(), answer.root.end());
    }
}

TEST(ChainVerdict, ThePolicysErrorAndWhereItSeesNoneTheChainsOwn) {
    EXPECT_EQ(ChainVerdict(ERROR_SUCCESS, CERT_TRUST_NO_ERROR), kOk);
    constexpr DWORD kUnknown = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;
    EXPECT_EQ(ChainVerdict(static_cast<DWORD>(CRYPT_E_REVOCATION_OFFLINE), kUnknown), kOk) << "no CRL in the cache";
    EXPECT_EQ(ChainVerdict(ERROR_SUCCESS, CERT_TRUST_IS_REVOKED), CRYPT_E_REVOKED) << "known revoked";
    EXPECT_EQ(ChainVerdict(static_cast<DWORD>(CERT_E_REVOCATION_FAILURE), kUnknown | CERT_TRUST_IS_PARTIAL_CHAIN),
              CERT_E_CHAINING)
        << "an unknown state hides no other error";
    EXPECT_EQ(ChainVerdict(ERROR_SUCCESS, CERT_TRUST_IS_PARTIAL_CHAIN), CERT_E_CHAINING)
        << "a chain that stops short of any root, which Wine's policy passes";
    EXPECT_EQ(ChainVerdict(static_cast<DWORD>(CERT_E_UNTRUSTEDROOT), CERT_TRUST_IS_UNTRUSTED_ROOT),
              static_cast<LONG>(CERT_E_UNTRUSTEDROOT))
        << "the policy's own error first";
}

TEST(FetchTrusted, ChecksOnlyWhatIsSetAndDeletesWhatFails) {
    struct Case {
        const char* what;
        Requirement required;
        bool downloads;
        bool matches;
        bool digestMatches;
        bool result;
        FakeCalls tail;
    };
    const std::wstring verify = L"verify W\\t.exe | " + kPublisher;
    const std::wstring digest = L"digest W\\t.exe | ab12";
    const std::wstring under = L"under W\\t.exe | " + kRoots;
    const std::wstring removed = L"delete W\\t.exe";
    const Case cases[] = {
        {"nothing set: not checked", {}, true, false, false, true, {}},
        {"signed by the publisher", {L"", L"", kPublisher}, true, true, false, true, {verify}},
        {"refused", {L"", L"", kPublisher}, true, false, true, false, {verify, removed}},
        {"download failed: nothing to check", {L"ab12", kRoots}, false, true, true, false, {}},
        {"unpinned: the roots decide", {L"", kRoots}, true, true, false, true, {under}},
        {"unpinned, under no allowed root", {L"", kRoots}, true, false, true, false, {under, removed}},
        {"pinned: an expired, foreign or no signature runs", {L"ab12", kRoots}, true, false, true, true, {digest}},
        {"pinned, another digest however signed", {L"ab12", kRoots}, true, true, false, false, {digest, removed}},
    };
    for (const Case& c : cases) {
        FakeStageServices services;
        services.downloadSucceeds = c.downloads;
        services.signatureMatches = c.matches;
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
