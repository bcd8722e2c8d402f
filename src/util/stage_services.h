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
    // The file's Authenticode signature is intact, trusted and made by publisher.
    virtual bool IsSignedBy(const std::wstring& path, const std::wstring& publisher) = 0;
    // The file's Authenticode signature is intact and its chain, as the
    // machine builds it, ends at one of roots (SHA-1 thumbprints).
    virtual bool IsSignedUnder(const std::wstring& path, const std::wstring& roots) = 0;
    // The file's SHA-512 is the pinned one (hex digits).
    virtual bool HasDigest(const std::wstring& path, const std::wstring& sha512) = 0;
    virtual void DeleteDownload(const std::wstring& path) = 0;
    virtual void ShowWarning(const std::wstring& text) = 0;
    virtual void SetStatus(const std::wstring& status, const std::wstring& detail) = 0;
    virtual void SetProgress(int percent, bool indeterminate) = 0;
    virtual int RunAndWait(const std::wstring& path, const std::wstring& args, bool showNormal) = 0;
    // Destroys the progress window if it still exists.
    virtual void CloseProgressWindow() = 0;
};

// What a download must be before it runs. The first that is set decides
// alone; none set: it runs unchecked.
struct Requirement {
    // Exactly the file a release named: its signature is not examined, as
    // nothing but its time or its signer's name could then refuse it.
    std::wstring sha512 = {};
    // Signed through one of these roots, whoever the signer says it is.
    std::wstring roots = {};
    // Signed by this common name, through a root of the machine's stores.
    std::wstring publisher = {};
};

// Downloads url to target and accepts the file only if it meets what is
// required; a refused file is deleted. False counts as a failed download.
bool FetchTrusted(StageServices& services, const wchar_t* url, const std::wstring& target, const std::wstring& status,
                  const std::wstring& detail, const Requirement& required);

}  // namespace repair
