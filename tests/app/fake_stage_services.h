#pragma once

#include <string>
#include <vector>

#include "util/stage_services.h"

namespace repair {

using FakeCalls = std::vector<std::wstring>;
inline const std::wstring kFakeWork = L"C:\\ProgramData\\VandrelRepair";

// Records every call as one line of text, in order, and answers as told.
class FakeStageServices final : public StageServices {
public:
    bool is64 = false;
    bool downloadSucceeds = true;
    bool signatureMatches = true;
    bool digestMatches = true;
    int childExitCode = 0;
    std::vector<std::wstring> calls;

    bool Is64BitWindows() override {
        calls.push_back(L"arch");
        return is64;
    }
    bool DownloadFile(const wchar_t* url, const std::wstring& path, const std::wstring& status,
                      const std::wstring& detail) override {
        calls.push_back(L"download " + std::wstring(url) + L" -> " + path + L" | " + status + L" | " + detail);
        return downloadSucceeds;
    }
    bool IsSignedBy(const std::wstring& path, const std::wstring& publisher) override {
        calls.push_back(L"verify " + path + L" | " + publisher);
        return signatureMatches;
    }
    bool IsSignedUnder(const std::wstring& path, const std::wstring& roots) override {
        calls.push_back(L"under " + path + L" | " + roots);
        return signatureMatches;
    }
    bool HasDigest(const std::wstring& path, const std::wstring& sha512) override {
        calls.push_back(L"digest " + path + L" | " + sha512);
        return digestMatches;
    }
    void DeleteDownload(const std::wstring& path) override { calls.push_back(L"delete " + path); }
    void ShowWarning(const std::wstring& text) override { calls.push_back(L"warn " + text); }
    void SetStatus(const std::wstring& status, const std::wstring& detail) override {
        calls.push_back(L"status " + status + L" | " + detail);
    }
    void SetProgress(int percent, bool indeterminate) override {
        calls.push_back(L"progress " + std::to_wstring(percent) + (indeterminate ? L" marquee" : L""));
    }
    int RunAndWait(const std::wstring& path, const std::wstring& args, bool showNormal) override {
        calls.push_back(L"run " + path + L" | " + args + (showNormal ? L" | shown" : L""));
        return childExitCode;
    }
    void CloseProgressWindow() override { calls.push_back(L"close"); }
};

}  // namespace repair
