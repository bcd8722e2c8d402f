// Puts an entry for a URL into the running account's URL cache, as the
// player's unelevated session can: the given file as the cached answer, a
// year before it expires. Exits 0 once the cache lists it.
//   plant_cache URL FILE
#include <windows.h>
#include <wininet.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        return 2;
    }
    const wchar_t* url = argv[1];
    wchar_t cached[MAX_PATH] = {};
    if (!CreateUrlCacheEntryW(url, 0, L"exe", cached, 0) || !CopyFileW(argv[2], cached, FALSE)) {
        return 1;
    }
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(cached, GetFileExInfoStandard, &data);
    const std::wstring headers =
        L"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_wstring(data.nFileSizeLow) + L"\r\n\r\n";
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER later = {};
    later.LowPart = now.dwLowDateTime;
    later.HighPart = now.dwHighDateTime;
    later.QuadPart += 365ULL * 24 * 3600 * 10000000ULL;
    const FILETIME expires = {later.LowPart, later.HighPart};
    if (!CommitUrlCacheEntryW(url, cached, expires, now, NORMAL_CACHE_ENTRY, const_cast<wchar_t*>(headers.c_str()),
                              static_cast<DWORD>(headers.size()), L"exe", nullptr)) {
        return 1;
    }
    DWORD size = 0;
    GetUrlCacheEntryInfoW(url, nullptr, &size);
    return size > 0 ? 0 : 1;
}
