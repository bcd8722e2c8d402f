#include "util/message_pump.h"

#include <gtest/gtest.h>

#include <atomic>

namespace repair {
namespace {

int FailingWait(const HANDLE*, DWORD, DWORD) {
    return -1;
}

TEST(RunWhilePumping, ReturnsOnlyOnceTheWorkHasEndedWhateverThePumpAnswers) {
    for (const PumpingWait wait : {&WaitPumping, &FailingWait}) {
        std::atomic<bool> finished{false};
        RunWhilePumping(
            [&] {
                Sleep(300);
                finished = true;
            },
            wait);
        EXPECT_TRUE(finished) << (wait == &FailingWait ? "the pump's wait failed" : "the pump's wait succeeded");
    }
}

}  // namespace
}  // namespace repair
