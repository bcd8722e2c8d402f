#include "net/transfer_state.h"

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

TransferState::TransferState(ULONGLONG startTick) : lastData_(startTick) {}

bool TransferState::NoteProgress(ULONG progress, ULONGLONG now) {
    Exclusive hold(lock_);
    if (progress > bytes_) {
        bytes_ = progress;
        lastData_ = now;
    }
    return !abandoned_;
}

void TransferState::SetStatus(const std::wstring& status, const std::wstring& detail) {
    Exclusive hold(lock_);
    pending_.push_back(Update{true, status, detail, 0, false});
}

void TransferState::SetProgress(int percent, bool indeterminate) {
    Exclusive hold(lock_);
    pending_.push_back(Update{false, {}, {}, percent, indeterminate});
}

void TransferState::ReplayInto(ProgressSink& sink) {
    std::vector<Update> updates;
    {
        Exclusive hold(lock_);
        if (abandoned_) {
            return;
        }
        updates.swap(pending_);
    }
    // Only the newest text and the newest bar state of a batch are still
    // true; drawing every one in between would only hold the window up.
    const Update* lastStatus = nullptr;
    const Update* lastProgress = nullptr;
    for (const Update& update : updates) {
        (update.isStatus ? lastStatus : lastProgress) = &update;
    }
    for (const Update& update : updates) {
        if (&update == lastStatus) {
            sink.SetStatus(update.status, update.detail);
        } else if (&update == lastProgress) {
            sink.SetProgress(update.percent, update.indeterminate);
        }
    }
}

bool TransferState::StalledAt(ULONGLONG now, DWORD stallMs) const {
    Exclusive hold(lock_);
    return now >= lastData_ && now - lastData_ >= stallMs;
}

void TransferState::Abandon() {
    Exclusive hold(lock_);
    abandoned_ = true;
    pending_.clear();
}

bool TransferState::Abandoned() const {
    Exclusive hold(lock_);
    return abandoned_;
}

}  // namespace repair
