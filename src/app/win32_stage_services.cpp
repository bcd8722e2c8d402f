#include "app/win32_stage_services.h"

#include <windows.h>

#include "net/download.h"
#include "process/run_and_wait.h"
#include "process/signature.h"
#include "ui/message.h"
#include "ui/progress_window.h"
#include "util/architecture.h"
#include "util/scoped.h"

namespace repair {
namespace {

class Win32Services final : public StageServices {
public:
    bool Is64BitWindows() override { return repair::Is64BitWindows(); }
    bool DownloadFile(const wchar_t* url, const std::wstring& path, const std::wstring& status,
                      const std::wstring& detail) override {
        return repair::DownloadFile(url, path, status, detail);
    }
    // The file checked stays open, unchangeable, until it has been started.
    bool IsSignedBy(const std::wstring& path, const std::wstring& publisher) override {
        held_ = OpenUnchangeable(path);
        return held_ && repair::IsSignedBy(held_.get(), path, publisher);
    }
    void DeleteDownload(const std::wstring& path) override {
        held_.reset();
        DeleteFileW(path.c_str());
    }
    void ShowWarning(const std::wstring& text) override { repair::ShowWarning(text); }
    void SetStatus(const std::wstring& status, const std::wstring& detail) override {
        repair::SetStatus(status, detail);
    }
    void SetProgress(int percent, bool indeterminate) override { repair::SetProgress(percent, indeterminate); }
    int RunAndWait(const std::wstring& path, const std::wstring& args, bool showNormal) override {
        const int exitCode = repair::RunAndWait(path, args, showNormal, [this] { held_.reset(); });
        held_.reset();
        return exitCode;
    }
    void CloseProgressWindow() override {
        if (gWindow != nullptr) {
            DestroyWindow(gWindow);
        }
    }

private:
    ScopedHandle held_;
};

}  // namespace

StageServices& Win32StageServices() {
    static Win32Services services;
    return services;
}

}  // namespace repair
