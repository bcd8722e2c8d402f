#pragma once

#include <windows.h>
#include <objbase.h>
#include <wincrypt.h>

#include <utility>

namespace repair {

// Owns one platform handle and releases it exactly once, on every path.
template <typename Handle, typename Traits>
class Scoped {
public:
    Scoped() = default;
    explicit Scoped(Handle handle) : handle_(handle) {}
    ~Scoped() { reset(); }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;
    Scoped(Scoped&& other) noexcept : handle_(std::exchange(other.handle_, Traits::Invalid())) {}
    Scoped& operator=(Scoped&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.handle_, Traits::Invalid()));
        }
        return *this;
    }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Traits::Invalid(); }
    void reset(Handle handle = Traits::Invalid()) {
        if (handle_ != Traits::Invalid()) {
            Traits::Release(handle_);
        }
        handle_ = handle;
    }
    // For out-parameters of platform calls; releases what was held before.
    Handle* receive() {
        reset();
        return &handle_;
    }

private:
    Handle handle_ = Traits::Invalid();
};

struct KernelHandleTraits {
    static HANDLE Invalid() { return nullptr; }
    static void Release(HANDLE h) { CloseHandle(h); }
};
struct FindHandleTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Release(HANDLE h) { FindClose(h); }
};
struct RegistryKeyTraits {
    static HKEY Invalid() { return nullptr; }
    static void Release(HKEY h) { RegCloseKey(h); }
};
struct SidTraits {
    static PSID Invalid() { return nullptr; }
    static void Release(PSID h) { FreeSid(h); }
};
struct LocalMemoryTraits {
    static HLOCAL Invalid() { return nullptr; }
    static void Release(HLOCAL h) { LocalFree(h); }
};

struct CoTaskMemoryTraits {
    static void* Invalid() { return nullptr; }
    static void Release(void* p) { CoTaskMemFree(p); }
};

template <typename Object>
struct GdiObjectTraits {
    static Object Invalid() { return nullptr; }
    static void Release(Object h) { DeleteObject(h); }
};
struct CryptProviderTraits {
    static HCRYPTPROV Invalid() { return 0; }
    static void Release(HCRYPTPROV h) { CryptReleaseContext(h, 0); }
};
struct CryptHashTraits {
    static HCRYPTHASH Invalid() { return 0; }
    static void Release(HCRYPTHASH h) { CryptDestroyHash(h); }
};

using ScopedHandle = Scoped<HANDLE, KernelHandleTraits>;
using ScopedFindHandle = Scoped<HANDLE, FindHandleTraits>;
using ScopedRegistryKey = Scoped<HKEY, RegistryKeyTraits>;
using ScopedSid = Scoped<PSID, SidTraits>;
using ScopedLocalMemory = Scoped<HLOCAL, LocalMemoryTraits>;
using ScopedCoTaskMemory = Scoped<void*, CoTaskMemoryTraits>;
using ScopedCryptProvider = Scoped<HCRYPTPROV, CryptProviderTraits>;
using ScopedCryptHash = Scoped<HCRYPTHASH, CryptHashTraits>;

}  // namespace repair
