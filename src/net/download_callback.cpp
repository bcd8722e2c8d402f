#include "net/download_callback.h"

#include <cstdint>

namespace repair {

int PercentOf(ULONG progress, ULONG progressMax) {
    const std::uint64_t quotient = static_cast<std::uint64_t>(progress) * 100u / progressMax;
    return static_cast<int>(static_cast<std::uint32_t>(quotient));
}

std::wstring PercentLine(const std::wstring& detail, int percent) {
    return detail + L' ' + std::to_wstring(percent) + L'%';
}

DownloadCallback::DownloadCallback(const std::wstring& status, const std::wstring& detail, ProgressSink& sink,
                                   TransferState* state)
    : status_(status), detail_(detail), sink_(sink), state_(state) {}

HRESULT STDMETHODCALLTYPE DownloadCallback::QueryInterface(REFIID iid, void** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IBindStatusCallback)) {
        *out = static_cast<IBindStatusCallback*>(this);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE DownloadCallback::AddRef() {
    return 2;
}

ULONG STDMETHODCALLTYPE DownloadCallback::Release() {
    return 1;
}

HRESULT STDMETHODCALLTYPE DownloadCallback::OnStartBinding(DWORD, IBinding*) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DownloadCallback::GetPriority(LONG*) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE DownloadCallback::OnLowResource(DWORD) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DownloadCallback::OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode, LPCWSTR) {
    if (state_ != nullptr && !state_->NoteProgress(progress, progressMax, GetTickCount64())) {
        return E_ABORT;
    }
    if (progressMax != 0) {
        const int percent = PercentOf(progress, progressMax);
        sink_.SetProgress(percent, false);
        sink_.SetStatus(status_, PercentLine(detail_, percent));
    } else if (statusCode == BINDSTATUS_BEGINDOWNLOADDATA || statusCode == BINDSTATUS_DOWNLOADINGDATA) {
        // Data is flowing but the server gave no length: show activity only.
        sink_.SetProgress(0, true);
        sink_.SetStatus(status_, detail_);
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DownloadCallback::OnStopBinding(HRESULT, LPCWSTR) {
    return S_OK;
}

// The URL cache is the player's: their unelevated session can put an entry
// back for our address between the clearing and the request, and a cached
// older tool that was properly signed would pass its check. Every answer
// comes from the server, and none is kept for the next time.
HRESULT STDMETHODCALLTYPE DownloadCallback::GetBindInfo(DWORD* flags, BINDINFO* info) {
    if (flags == nullptr || info == nullptr || info->cbSize < sizeof(DWORD)) {
        return E_INVALIDARG;
    }
    *flags = (*flags & ~static_cast<DWORD>(BINDF_OFFLINEOPERATION)) | BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE |
             BINDF_PRAGMA_NO_CACHE;
    // As urlmon expects it: its own size kept, nothing else asked for, a GET.
    const ULONG size = info->cbSize;
    ZeroMemory(info, size);
    info->cbSize = size;
    info->dwBindVerb = BINDVERB_GET;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DownloadCallback::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DownloadCallback::OnObjectAvailable(REFIID, IUnknown*) {
    return S_OK;
}

}  // namespace repair
