#include "app/win32_stage_services.h"

#include <windows.h>

#include "net/download.h"
#include "process/run_and_wait.h"
#include "process/signature.h"
#include "ui/message.h"
#include "ui/progress_window.h"
#include "util/architecture.h"

namespace repair {
namespace {

class Win32Services final : public StageServices {
public:
    bool Is64BitWindows() override { return repair::Is64BitWindows(); }
    bool DownloadFile(const wchar_t* url, const std::wstring& path, const std::wstring& status,
                      const std::wstring& detail) override {
        return repair::DownloadFile(url, path, status, detail);
    }
    bool IsSignedBy(const std::wstring& path, const std::wstring& publisher) override {
        return repair::IsSignedBy(path, publisher);
    }
    void DeleteDownload(const std::wstring& path) override { DeleteFileW(path.c_str()); }
    void ShowWarning(const std::wstring& text) override { repair::ShowWarning(text); }
    void SetStatus(const std::wstring& status, const std::wstring& detail) override {
        repair::SetStatus(status, detail);
    }
    void SetProgress(int percent, bool indeterminate) override { repair::SetProgress(percent, indeterminate); }
    int RunAndWait(const std::wstring& path, const std::wstring& args, bool showNormal) override {
        return repair::RunAndWait(path, args, showNormal);
    }
    void CloseProgressWindow() override {
        if (gWindow != nullptr) {
            DestroyWindow(gWindow);
        }
    }
};

}  // namespace

StageServices& Win32StageServices() {
    static Win32Services services;
    return services;
}

}  // namespace repair
