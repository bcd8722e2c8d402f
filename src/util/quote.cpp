#include "util/quote.h"

namespace repair {

std::wstring Quote(const std::wstring& value) {
    std::wstring quoted(1, L'"');
    std::wstring::size_type pendingBackslashes = 0;
    for (const wchar_t c : value) {
        if (c == L'\\') {
            ++pendingBackslashes;
            continue;
        }
        if (c == L'"') {
            // A backslash run before a quote is read as escapes: double it,
            // then escape the quote itself.
            quoted.append(pendingBackslashes * 2 + 1, L'\\');
        } else {
            quoted.append(pendingBackslashes, L'\\');
        }
        pendingBackslashes = 0;
        quoted.push_back(c);
    }
    // The closing quote would otherwise swallow a trailing run, as in "C:\".
    quoted.append(pendingBackslashes * 2, L'\\');
    quoted.push_back(L'"');
    return quoted;
}

}  // namespace repair
