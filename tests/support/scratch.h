#pragma once

#include <windows.h>
#include <shlwapi.h>

#include <string>

#include "files.h"

// A fresh folder under the temporary directory, removed with its files when
// the test ends; and the helpers' folder (beside the running test program).
class ScratchDirectory {
public:
    explicit ScratchDirectory(const std::wstring& name) {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        path_ = std::wstring(temp) + name + L"-" + std::to_wstring(GetCurrentProcessId());
        Remove();
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~ScratchDirectory() { Remove(); }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

    static void RemoveTree(const std::wstring& dir) {
        WIN32_FIND_DATAW data = {};
        HANDLE search = FindFirstFileW((dir + L"\\*").c_str(), &data);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = data.cFileName;
                if (name == L"." || name == L"..") {
                    continue;
                }
                const std::wstring full = dir + L"\\" + name;
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    RemoveTree(full);
                } else {
                    SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileW(full.c_str());
                }
            } while (FindNextFileW(search, &data));
            FindClose(search);
        }
        RemoveDirectoryW(dir.c_str());
    }

private:
    void Remove() { RemoveTree(path_); }

    std::wstring path_;
};

inline std::wstring HelperPath(const std::wstring& name) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    PathRemoveFileSpecW(self);
    return std::wstring(self) + L"\\" + name;
}
