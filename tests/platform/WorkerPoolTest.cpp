#include "platform/ThreadAltStack.h"
#include "platform/WorkerPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

using platform::WorkerPool;

TEST(WorkerPool, EverySlotRunsOnceOnAThreadOfItsOwnAndAllWorkGetsDone)
{
    for (const unsigned threads : {1u, 2u, 5u}) {
        WorkerPool pool(threads);
        ASSERT_EQ(pool.Threads(), threads);
        const std::thread::id caller = std::this_thread::get_id();
        for (int job = 0; job < 3; ++job) {  // the pool serves one job after another
            std::mutex mutex;
            std::set<unsigned> slots;
            std::set<std::thread::id> ids;
            bool callerIsSlotZero = false, ownStacks = true;
            std::atomic<int> next{0}, sum{0};
            EXPECT_EQ(pool.Run([&](unsigned slot) {
                          stack_t stack{};
                          const bool hasStack = sigaltstack(nullptr, &stack) == 0 && !(stack.ss_flags & SS_DISABLE)
                                                && stack.ss_size >= platform::ThreadAltStack::kSize;
                          for (int i; (i = next++) < 1000;)
                              sum += i;
                          std::lock_guard lock(mutex);
                          slots.insert(slot);
                          ids.insert(std::this_thread::get_id());
                          if (slot == 0)
                              callerIsSlotZero = std::this_thread::get_id() == caller;
                          else
                              ownStacks = ownStacks && hasStack;
                      }),
                      threads);
            EXPECT_EQ(sum, 999 * 1000 / 2);
            EXPECT_EQ(slots.size(), threads);
            EXPECT_EQ(ids.size(), threads);
            EXPECT_TRUE(callerIsSlotZero);
            EXPECT_TRUE(ownStacks) << "every thread of the pool has an alternate signal stack";
        }
    }
}

TEST(WorkerPool, AJobStartedWhileThePoolIsBusyRunsOnTheCallingThreadAlone)
{
    WorkerPool pool(3);
    std::atomic<int> inner{0};
    std::atomic<unsigned> innerThreads{0};
    pool.Run([&](unsigned slot) {
        if (slot == 1)
            innerThreads = pool.Run([&](unsigned) { ++inner; });  // would wait for itself if it queued
    });
    EXPECT_EQ(innerThreads, 1u);
    EXPECT_EQ(inner, 1);
}

TEST(WorkerPool, AnExceptionOfAnySlotReachesTheCallerOnceAllAreDone)
{
    WorkerPool pool(3);
    for (const unsigned thrower : {0u, 2u}) {
        std::atomic<int> finished{0};
        EXPECT_THROW(pool.Run([&](unsigned slot) {
                         if (slot == thrower)
                             throw std::runtime_error("no");
                         ++finished;
                     }),
                     std::runtime_error);
        EXPECT_EQ(finished, 2);
    }
    std::atomic<int> after{0};
    pool.Run([&](unsigned) { ++after; });
    EXPECT_EQ(after, 3);
}

TEST(WorkerPool, ThreadCountComesFromTheSettingOrTheUsableProcessors)
{
    struct Case {
        const char* setting;
        unsigned usable;
        unsigned threads;
    };
    const Case cases[] = {
        {nullptr, 2, 2}, {"", 4, 4},   {"3", 2, 3},    {"1", 8, 1},   {"0", 2, 2},
        {"-2", 2, 2},    {"2x", 2, 2}, {" 2", 6, 6},   {"9999", 2, platform::kMaxWorkerThreads},
        {nullptr, 0, 1}, {nullptr, 500, platform::kMaxWorkerThreads},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::ThreadsFromSetting(c.setting, c.usable), c.threads)
            << (c.setting ? c.setting : "(unset)") << " with " << c.usable;
    EXPECT_GE(platform::UsableProcessors(), 1u);
}
