#pragma once

#include <windows.h>
#include <urlmon.h>

#include <string>

#include "net/progress_sink.h"
#include "net/transfer_state.h"

namespace repair {

// Percentage of a transfer, formed in 64 bits so that counts above 42 MB do
// not overflow; not clamped.
int PercentOf(ULONG progress, ULONG progressMax);

// The lower line while the total is known: detail, a space, digits and "%".
std::wstring PercentLine(const std::wstring& detail, int percent);

// Progress callback for one URLDownloadToFileW call. It lives in the caller's
// automatic storage, so its reference counting is nominal. With a transfer
// state it reports each notification there first and ends the transfer at
// the next notification once the waiting side has given it up.
class DownloadCallback final : public IBindStatusCallback {
public:
    DownloadCallback(const std::wstring& status, const std::wstring& detail, ProgressSink& sink = WindowProgressSink(),
                     TransferState* state = nullptr);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD reserved, IBinding* binding) override;
    HRESULT STDMETHODCALLTYPE GetPriority(LONG* priority) override;
    HRESULT STDMETHODCALLTYPE OnLowResource(DWORD reserved) override;
    HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode,
                                         LPCWSTR statusText) override;
    HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT result, LPCWSTR error) override;
    HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD* flags, BINDINFO* info) override;
    HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD flags, DWORD size, FORMATETC* format, STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID iid, IUnknown* object) override;

private:
    std::wstring status_;
    std::wstring detail_;
    ProgressSink& sink_;
    TransferState* state_;
};

}  // namespace repair
