#include "platform/ProcessLock.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/Clock.h"

namespace kelvane {
namespace {

bool OtherThreadCanLock() {
  bool locked = false;
  std::thread([&] {
    locked = ProcessLock().try_lock();
    if (locked) ProcessLock().unlock();
  }).join();
  return locked;
}

TEST(ProcessLock, ReentrantOnOneThreadExclusiveAcrossThreads) {
  {
    TProcessLockGuard outer;
    {
      TProcessLockGuard inner;  // a handler calling back into the component
      EXPECT_FALSE(OtherThreadCanLock());
    }
    EXPECT_FALSE(OtherThreadCanLock());  // still held by the outer run
  }
  EXPECT_TRUE(OtherThreadCanLock());
}

TEST(Clock, TickCountAndCounterRunOnTheSameMonotonicClock) {
  for (int i = 0; i < 1000; ++i) {
    const uint64_t before = TickCount();
    const int64_t counter = PerformanceCounter();
    const uint64_t after = TickCount();
    ASSERT_LE(before, after);
    const auto counterMs = static_cast<uint64_t>(counter / (PerformanceFrequency() / 1000));
    ASSERT_LE(before, counterMs);
    ASSERT_LE(counterMs, after);
  }
}

}  // namespace
}  // namespace kelvane
