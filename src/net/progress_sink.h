#pragma once

#include <string>

namespace repair {

// Where download progress goes: the progress window in the program, a
// recorder in tests.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void SetStatus(const std::wstring& status, const std::wstring& detail) = 0;
    virtual void SetProgress(int percent, bool indeterminate) = 0;
};

// The sink that drives the progress window.
ProgressSink& WindowProgressSink();

}  // namespace repair
