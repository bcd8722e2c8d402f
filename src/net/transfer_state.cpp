#include "net/transfer_state.h"

#include <algorithm>

namespace repair {
namespace {

class Exclusive {
public:
    explicit Exclusive(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~Exclusive() { ReleaseSRWLockExclusive(&lock_); }
    Exclusive(const Exclusive&) = delete;
    Exclusive& operator=(const Exclusive&) = delete;

private:
    SRWLOCK& lock_;
};

}  // namespace

TransferState::TransferState(ULONGLONG startTick) : lastLook_(startTick) {}

bool TransferState::NoteProgress(ULONG progress, ULONG progressMax, ULONGLONG now) {
    Exclusive hold(lock_);
    if (progressMax != 0) {
        announced_ = progressMax;
    }
    if (progress > bytes_) {
        bytes_ = progress;
        lastLook_ = now > lastLook_ ? now : lastLook_;
        silentMs_ = 0;
    }
    return !abandoned_;
}

void TransferState::SetStatus(const std::wstring& status, const std::wstring& detail) {
    Exclusive hold(lock_);
    lines_ = Lines{status, detail};
}

void TransferState::SetProgress(int percent, bool indeterminate) {
    Exclusive hold(lock_);
    bar_ = Bar{percent, indeterminate};
}

void TransferState::ReplayInto(ProgressSink& sink) {
    std::optional<Lines> lines;
    std::optional<Bar> bar;
    {
        Exclusive hold(lock_);
        if (abandoned_) {
            return;
        }
        lines.swap(lines_);
        bar.swap(bar_);
    }
    // The bar before the lines, as the callback itself orders them.
    if (bar) {
        sink.SetProgress(bar->percent, bar->indeterminate);
    }
    if (lines) {
        sink.SetStatus(lines->status, lines->detail);
    }
}

bool TransferState::SilentAt(ULONGLONG now, ULONGLONG workedMs, DWORD stallMs, DWORD maxSliceMs) {
    Exclusive hold(lock_);
    const ULONGLONG worked = workedMs > workedMs_ ? workedMs - workedMs_ : 0;
    workedMs_ = workedMs > workedMs_ ? workedMs : workedMs_;
    if (now > lastLook_) {
        const ULONGLONG seen = std::min<ULONGLONG>(now - lastLook_, maxSliceMs);
        silentMs_ += std::max(seen - std::min(worked, seen), seen / 4);
        lastLook_ = now;
    }
    return silentMs_ >= stallMs;
}

void TransferState::Abandon() {
    Exclusive hold(lock_);
    abandoned_ = true;
    lines_.reset();
    bar_.reset();
}

bool TransferState::IsWhole(ULONGLONG fileSize) const {
    Exclusive hold(lock_);
    return !announced_ || fileSize >= *announced_;
}

bool TransferState::Abandoned() const {
    Exclusive hold(lock_);
    return abandoned_;
}

}  // namespace repair
