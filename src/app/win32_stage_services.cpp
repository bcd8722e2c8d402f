#include "app/win32_stage_services.h"

#include <windows.h>

#include "net/download.h"
#include "process/file_digest.h"
#include "process/run_and_wait.h"
#include "process/signature.h"
#include "ui/message.h"
#include "ui/progress_window.h"
#include "util/architecture.h"
#include "util/constants.h"
#include "util/join_path.h"
#include "util/message_pump.h"
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
        const HANDLE file = Hold(path);
        return file != nullptr && repair::IsSignedBy(file, path, publisher);
    }
    bool IsSignedUnder(const std::wstring& path, const std::wstring& roots) override {
        const HANDLE file = Hold(path);
        return file != nullptr && repair::IsSignedUnder(file, path, roots);
    }
    bool HasDigest(const std::wstring& path, const std::wstring& sha512) override {
        const HANDLE file = Hold(path);
        if (file == nullptr) {
            return false;
        }
        std::wstring digest;
        // An installer is tens of megabytes: the window keeps answering.
        RunWhilePumping([&] { digest = Sha512Hex(file); });
        return SameDigest(digest, sha512);
    }
    void DeleteDownload(const std::wstring& path) override {
        Release();
        DeleteFileW(path.c_str());
    }
    void ShowWarning(const std::wstring& text) override { repair::ShowWarning(text); }
    void SetStatus(const std::wstring& status, const std::wstring& detail) override {
        repair::SetStatus(status, detail);
    }
    void SetProgress(int percent, bool indeterminate) override { repair::SetProgress(percent, indeterminate); }
    // Every program a stage starts is a download in the work folder, and the
    // work folder's preparation made or judged its temp folder with it.
    int RunAndWait(const std::wstring& path, const std::wstring& args, bool showNormal) override {
        const std::wstring temp = TryJoinPath(ChildDirectory(path), kChildTempFolderName).value_or(L"");
        const int exitCode = repair::RunAndWait(path, args, showNormal, temp, [this] { Release(); });
        Release();
        return exitCode;
    }
    void CloseProgressWindow() override {
        if (gWindow != nullptr) {
            DestroyWindow(gWindow);
        }
    }

private:
    // Opened once for every check of one download.
    HANDLE Hold(const std::wstring& path) {
        if (!held_ || heldPath_ != path) {
            held_ = OpenUnchangeable(path);
            heldPath_ = path;
        }
        return held_.get();
    }
    void Release() {
        held_.reset();
        heldPath_.clear();
    }

    ScopedHandle held_;
    std::wstring heldPath_;
};

}  // namespace

StageServices& Win32StageServices() {
    static Win32Services services;
    return services;
}

}  // namespace repair
