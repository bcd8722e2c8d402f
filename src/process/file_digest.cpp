#include "process/file_digest.h"

#include <wincrypt.h>

#include <vector>

#include "util/scoped.h"

namespace repair {
namespace {

constexpr std::size_t kSha512HexLength = 128;
constexpr DWORD kSha512Bytes = 64;
constexpr DWORD kReadChunk = 1 << 20;

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') {
        return c - L'0';
    }
    if (c >= L'a' && c <= L'f') {
        return c - L'a' + 10;
    }
    if (c >= L'A' && c <= L'F') {
        return c - L'A' + 10;
    }
    return -1;
}

bool IsSha512Hex(const std::wstring& digest) {
    if (digest.size() != kSha512HexLength) {
        return false;
    }
    for (const wchar_t c : digest) {
        if (HexValue(c) < 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool SameDigest(const std::wstring& actual, const std::wstring& pinned) {
    if (!IsSha512Hex(actual) || !IsSha512Hex(pinned)) {
        return false;
    }
    for (std::size_t i = 0; i < kSha512HexLength; ++i) {
        if (HexValue(actual[i]) != HexValue(pinned[i])) {
            return false;
        }
    }
    return true;
}

std::wstring Sha512Hex(HANDLE file) {
    // Whatever read the handle before (the signature check) moved its position.
    LARGE_INTEGER start = {};
    if (SetFilePointerEx(file, start, nullptr, FILE_BEGIN) == FALSE) {
        return {};
    }
    ScopedCryptProvider provider;
    ScopedCryptHash hash;
    if (CryptAcquireContextW(provider.receive(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) == FALSE ||
        CryptCreateHash(provider.get(), CALG_SHA_512, 0, 0, hash.receive()) == FALSE) {
        return {};
    }
    std::vector<BYTE> chunk(kReadChunk);
    for (;;) {
        DWORD read = 0;
        if (ReadFile(file, chunk.data(), kReadChunk, &read, nullptr) == FALSE) {
            return {};
        }
        if (read == 0) {
            break;
        }
        if (CryptHashData(hash.get(), chunk.data(), read, 0) == FALSE) {
            return {};
        }
    }
    // Left at its first byte again for the signature check that may follow.
    SetFilePointerEx(file, start, nullptr, FILE_BEGIN);
    BYTE digest[kSha512Bytes] = {};
    DWORD length = kSha512Bytes;
    if (CryptGetHashParam(hash.get(), HP_HASHVAL, digest, &length, 0) == FALSE || length != kSha512Bytes) {
        return {};
    }
    constexpr wchar_t kHex[] = L"0123456789abcdef";
    std::wstring text;
    for (const BYTE b : digest) {
        text += kHex[b >> 4];
        text += kHex[b & 0x0F];
    }
    return text;
}

}  // namespace repair
