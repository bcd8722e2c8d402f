#include "util/known_folder.h"

#include "util/scoped.h"

namespace repair {

std::wstring KnownFolderPath(REFKNOWNFOLDERID id) {
    ScopedCoTaskMemory path;
    if (SHGetKnownFolderPath(id, 0, nullptr, reinterpret_cast<PWSTR*>(path.receive())) != S_OK ||
        path.get() == nullptr) {
        return {};
    }
    return static_cast<const wchar_t*>(path.get());
}

}  // namespace repair
