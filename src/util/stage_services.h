#pragma once

#include <string>

namespace repair {

// What the download-and-run stages need from the system; faked in tests.
class StageServices {
public:
    virtual ~StageServices() = default;
    virtual bool Is64BitWindows() = 0;
    virtual bool DownloadFile(const wchar_t* url, const std::wstring& path, const std::wstring& status,
                              const std::wstring& detail) = 0;
    virtual void ShowWarning(const std::wstring& text) = 0;
    virtual void SetStatus(const std::wstring& status, const std::wstring& detail) = 0;
    virtual void SetProgress(int percent, bool indeterminate) = 0;
    virtual int RunAndWait(const std::wstring& path, const std::wstring& args, bool showNormal) = 0;
    // Destroys the progress window if it still exists.
    virtual void CloseProgressWindow() = 0;
};

}  // namespace repair
