#include "net/progress_sink.h"

#include "ui/progress_window.h"

namespace repair {
namespace {

class WindowSink final : public ProgressSink {
public:
    void SetStatus(const std::wstring& status, const std::wstring& detail) override {
        repair::SetStatus(status, detail);
    }
    void SetProgress(int percent, bool indeterminate) override { repair::SetProgress(percent, indeterminate); }
};

}  // namespace

ProgressSink& WindowProgressSink() {
    static WindowSink sink;
    return sink;
}

}  // namespace repair
