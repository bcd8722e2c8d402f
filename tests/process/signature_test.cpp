#include "process/signature.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/fake_stage_services.h"
#include "process/file_digest.h"

namespace repair {
namespace {

class FakeTrust final : public TrustShell {
public:
    std::vector<TrustAnswer> answers;  // with revocation, then without
    std::vector<bool> revocationAsked;
    TrustAnswer Verify(const std::wstring&, bool checkRevocation) override {
        revocationAsked.push_back(checkRevocation);
        return answers.at(revocationAsked.size() - 1);
    }
};

constexpr LONG kOk = ERROR_SUCCESS;
const std::wstring kPublisher = L"Vandrel Games Ltd";

TEST(IsSignedBy, OnlyAnAcceptedSignatureOfExactlyThePublisherCounts) {
    struct Case {
        const char* what;
        TrustAnswer answer;
        bool accepted;
    };
    const Case cases[] = {
        {"signed by the publisher", {kOk, kPublisher, kOk}, true},
        {"unsigned", {static_cast<LONG>(TRUST_E_NOSIGNATURE), L""}, false},
        {"changed after signing", {static_cast<LONG>(TRUST_E_BAD_DIGEST), kPublisher}, false},
        {"untrusted root", {static_cast<LONG>(CERT_E_UNTRUSTEDROOT), kPublisher}, false},
        {"known to be revoked", {static_cast<LONG>(CRYPT_E_REVOKED), kPublisher}, false},
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
        trust.answers = {c.answer};
        EXPECT_EQ(IsSignedBy(L"x.exe", kPublisher, trust), c.accepted) << c.what;
        EXPECT_EQ(trust.revocationAsked, std::vector<bool>{true}) << c.what;
    }
}

TEST(ChainVerdict, ThePolicysErrorAndWhereItSeesNoneTheChainsOwn) {
    EXPECT_EQ(ChainVerdict(ERROR_SUCCESS, CERT_TRUST_NO_ERROR), kOk);
    EXPECT_EQ(ChainVerdict(ERROR_SUCCESS, CERT_TRUST_IS_PARTIAL_CHAIN), CERT_E_CHAINING)
        << "a chain that stops short of any root, which Wine's policy passes";
    EXPECT_EQ(ChainVerdict(static_cast<DWORD>(CERT_E_UNTRUSTEDROOT), CERT_TRUST_IS_UNTRUSTED_ROOT),
              static_cast<LONG>(CERT_E_UNTRUSTEDROOT))
        << "the policy's own error first";
}

TEST(IsSignedBy, AnUnknownRevocationStateIsJudgedOnEverythingElse) {
    for (const LONG unknown :
         {static_cast<LONG>(CERT_E_REVOCATION_FAILURE), static_cast<LONG>(CRYPT_E_REVOCATION_OFFLINE),
          static_cast<LONG>(CRYPT_E_NO_REVOCATION_CHECK)}) {
        FakeTrust trust;
        trust.answers = {{unknown, L""}, {kOk, kPublisher, kOk}};
        EXPECT_TRUE(IsSignedBy(L"x.exe", kPublisher, trust)) << std::hex << unknown;
        EXPECT_EQ(trust.revocationAsked, (std::vector<bool>{true, false}));

        trust = FakeTrust();
        trust.answers = {{unknown, L""}, {static_cast<LONG>(TRUST_E_BAD_DIGEST), L""}};
        EXPECT_FALSE(IsSignedBy(L"x.exe", kPublisher, trust)) << "the second look still checks the rest";
    }
}

TEST(FetchTrusted, ChecksOnlyWhatIsSetAndDeletesWhatFails) {
    struct Case {
        const char* what;
        std::wstring publisher;
        std::wstring pin;
        bool downloads;
        bool matches;
        bool digestMatches;
        bool result;
        FakeCalls tail;
    };
    const std::wstring verify = L"verify W\\t.exe | " + kPublisher;
    const std::wstring digest = L"digest W\\t.exe | ab12";
    const std::wstring removed = L"delete W\\t.exe";
    const Case cases[] = {
        {"nothing set: not checked", L"", L"", true, false, false, true, {}},
        {"signed by the publisher", kPublisher, L"", true, true, false, true, {verify}},
        {"refused", kPublisher, L"", true, false, true, false, {verify, removed}},
        {"download failed: nothing to check", kPublisher, L"ab12", false, true, true, false, {}},
        {"pinned and the digest matches", L"", L"ab12", true, false, true, true, {digest}},
        {"another digest", L"", L"ab12", true, true, false, false, {digest, removed}},
        {"signed by the publisher, another digest", kPublisher, L"ab12", true, true, false, false, {digest, removed}},
        {"both hold", kPublisher, L"ab12", true, true, true, true, {digest, verify}},
        {"the digest holds, the signature not",
         kPublisher,
         L"ab12",
         true,
         false,
         true,
         false,
         {digest, verify, removed}},
    };
    for (const Case& c : cases) {
        FakeStageServices services;
        services.downloadSucceeds = c.downloads;
        services.signatureMatches = c.matches;
        services.digestMatches = c.digestMatches;
        EXPECT_EQ(FetchTrusted(services, L"http://h/t.exe", L"W\\t.exe", L"S", L"D", c.publisher, c.pin), c.result)
            << c.what;
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
