#include "process/signature.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/fake_stage_services.h"

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
        {"signed by the publisher", {kOk, kPublisher}, true},
        {"unsigned", {static_cast<LONG>(TRUST_E_NOSIGNATURE), L""}, false},
        {"changed after signing", {static_cast<LONG>(TRUST_E_BAD_DIGEST), kPublisher}, false},
        {"untrusted root", {static_cast<LONG>(CERT_E_UNTRUSTEDROOT), kPublisher}, false},
        {"known to be revoked", {static_cast<LONG>(CRYPT_E_REVOKED), kPublisher}, false},
        {"another publisher", {kOk, L"Somebody Else"}, false},
        {"a name that only starts alike", {kOk, kPublisher + L" (Test)"}, false},
        {"letter case differs", {kOk, L"vandrel games ltd"}, false},
        {"no common name", {kOk, L""}, false},
    };
    for (const Case& c : cases) {
        FakeTrust trust;
        trust.answers = {c.answer};
        EXPECT_EQ(IsSignedBy(L"x.exe", kPublisher, trust), c.accepted) << c.what;
        EXPECT_EQ(trust.revocationAsked, std::vector<bool>{true}) << c.what;
    }
}

TEST(IsSignedBy, AnUnknownRevocationStateIsJudgedOnEverythingElse) {
    for (const LONG unknown :
         {static_cast<LONG>(CERT_E_REVOCATION_FAILURE), static_cast<LONG>(CRYPT_E_REVOCATION_OFFLINE),
          static_cast<LONG>(CRYPT_E_NO_REVOCATION_CHECK)}) {
        FakeTrust trust;
        trust.answers = {{unknown, L""}, {kOk, kPublisher}};
        EXPECT_TRUE(IsSignedBy(L"x.exe", kPublisher, trust)) << std::hex << unknown;
        EXPECT_EQ(trust.revocationAsked, (std::vector<bool>{true, false}));

        trust = FakeTrust();
        trust.answers = {{unknown, L""}, {static_cast<LONG>(TRUST_E_BAD_DIGEST), L""}};
        EXPECT_FALSE(IsSignedBy(L"x.exe", kPublisher, trust)) << "the second look still checks the rest";
    }
}

TEST(FetchTrusted, ChecksOnlyWhenAPublisherIsSetAndDeletesWhatFails) {
    struct Case {
        const char* what;
        std::wstring publisher;
        bool downloads;
        bool matches;
        bool result;
        FakeCalls tail;
    };
    const Case cases[] = {
        {"no publisher: not checked", L"", true, false, true, {}},
        {"signed by the publisher", kPublisher, true, true, true, {L"verify W\\t.exe | " + kPublisher}},
        {"refused", kPublisher, true, false, false, {L"verify W\\t.exe | " + kPublisher, L"delete W\\t.exe"}},
        {"download failed: nothing to check", kPublisher, false, true, false, {}},
    };
    for (const Case& c : cases) {
        FakeStageServices services;
        services.downloadSucceeds = c.downloads;
        services.signatureMatches = c.matches;
        EXPECT_EQ(FetchTrusted(services, L"http://h/t.exe", L"W\\t.exe", L"S", L"D", c.publisher), c.result) << c.what;
        ASSERT_FALSE(services.calls.empty());
        EXPECT_EQ(FakeCalls(services.calls.begin() + 1, services.calls.end()), c.tail) << c.what;
    }
}

}  // namespace
}  // namespace repair
