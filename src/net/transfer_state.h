#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "net/progress_sink.h"

namespace repair {

// What one transfer shares between the thread that runs it and the thread
// that shows it: the display updates not yet shown, when data last arrived,
// and whether the waiting side has given the transfer up. The download
// thread may outlive the wait (a stalled socket cannot be interrupted), so
// this is owned jointly.
class TransferState final : public ProgressSink {
public:
    explicit TransferState(ULONGLONG startTick);

    // Download thread. Data counts as arrived when the byte count grows; a
    // non-zero progressMax is the length the transfer announced. The answer
    // is false once the transfer has been given up.
    bool NoteProgress(ULONG progress, ULONG progressMax, ULONGLONG now);
    void SetStatus(const std::wstring& status, const std::wstring& detail) override;
    void SetProgress(int percent, bool indeterminate) override;

    // Waiting thread.
    void ReplayInto(ProgressSink& sink);
    // One look of the watch at now, workedMs being the processor time the
    // transfer's threads have had in all: whether the transfer has been silent
    // for stallMs of the time the watch was awake to see. A look that comes
    // late (the whole process got no processor: a scan, a patcher, a
    // swapping machine) counts at most maxSliceMs since the last, so
    // starvation never adds up to a stall. Time the transfer's threads spent
    // working (a TLS handshake, writing the file, a scanner hooked into the
    // writes) is no silence of the server's, but counts a quarter all the
    // same, so that a transfer busy without data still ends. A server silent
    // under looks at the usual pace is given up after the same time on an
    // idle or a busy machine.
    bool SilentAt(ULONGLONG now, ULONGLONG workedMs, DWORD stallMs, DWORD maxSliceMs);
    void Abandon();
    bool Abandoned() const;
    // Whether a file of this size is all the transfer announced: not shorter
    // than the announced length. Longer is whole: urlmon writes the decoded
    // file, and the length a compressing server announces may be the
    // compressed one. A transfer that announced no length (chunked) is judged
    // by its result alone.
    bool IsWhole(ULONGLONG fileSize) const;

private:
    struct Lines {
        std::wstring status;
        std::wstring detail;
    };
    struct Bar {
        int percent;
        bool indeterminate;
    };

    mutable SRWLOCK lock_ = SRWLOCK_INIT;
    // Only the newest of each is still true when the window thread looks.
    std::optional<Lines> lines_;
    std::optional<Bar> bar_;
    ULONGLONG lastLook_;      // the last look, or the newest data if later
    ULONGLONG silentMs_ = 0;  // seen since the newest data
    ULONGLONG workedMs_ = 0;  // the transfer threads' processor time at the last look
    ULONG bytes_ = 0;
    std::optional<ULONG> announced_;
    bool abandoned_ = false;
};

}  // namespace repair
