#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

#include "framework/timers.h"
#include "support.h"

namespace {

using namespace std::chrono_literals;

// Waits until `done` holds, for at most two seconds: the timer thread is slow under the
// sanitizers, so tests wait for what must happen and sleep only to see what must not.
template <typename Condition>
bool eventually(Condition done) {
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

class TimersTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(sdl.ok); }
    support::SdlSession sdl{SDL_INIT_TIMER};
};

struct Shot {
    Timers* timers = nullptr;
    std::atomic<int> fired{0};
};

Uint32 noop(Uint32 /*interval*/, void* /*param*/) {
    return 0;
}

// Changes the list of timers while it runs, the case in which SDL 1.2 ignores the 0 it
// returns and would fire it again every interval.
Uint32 once_while_list_changes(Uint32 /*interval*/, void* param) {
    auto* shot = static_cast<Shot*>(param);
    ++shot->fired;
    shot->timers->add(1000, noop, nullptr);
    return 0;
}

TEST_F(TimersTest, ACallbackReturningZeroFiresOnceEvenWhenTheListChanges) {
    Timers timers;
    Shot shot;
    shot.timers = &timers;
    timers.add(20, once_while_list_changes, &shot);
    ASSERT_TRUE(eventually([&] { return shot.fired > 0; }));
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(shot.fired, 1);
    EXPECT_EQ(timers.pending(), 1U);  // only the 1000 ms one it started
}

Uint32 count_up(Uint32 interval, void* param) {
    ++*static_cast<std::atomic<int>*>(param);
    return interval;
}

TEST_F(TimersTest, RepeatingTimersRepeatUntilRemoved) {
    Timers timers;
    std::atomic<int> ticks{0};
    const Timers::Id id = timers.add(10, count_up, &ticks);
    ASSERT_NE(id, 0U);
    ASSERT_TRUE(eventually([&] { return ticks >= 5; }));
    timers.remove(id);
    const int seen = ticks;
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(ticks, seen);
    EXPECT_EQ(timers.pending(), 0U);
}

struct SelfRemover {
    Timers timers;
    std::atomic<Timers::Id> id{0};  // written after the timer starts, read by its callback
    std::atomic<int> fired{0};
};

Uint32 remove_self(Uint32 interval, void* param) {
    auto* self = static_cast<SelfRemover*>(param);
    ++self->fired;
    self->timers.remove(self->id);
    return interval;  // ignored: the timer is gone
}

TEST_F(TimersTest, ACallbackMayRemoveItsOwnTimer) {
    SelfRemover self;
    self.id = self.timers.add(10, remove_self, &self);
    ASSERT_TRUE(eventually([&] { return self.fired > 0; }));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(self.fired, 1);
    EXPECT_EQ(self.timers.pending(), 0U);
}

struct Slow {
    std::atomic<bool> entered{false};
    std::atomic<bool> finished{false};
};

Uint32 slow(Uint32 /*interval*/, void* param) {
    auto* s = static_cast<Slow*>(param);
    s->entered = true;
    std::this_thread::sleep_for(100ms);
    s->finished = true;
    return 0;
}

TEST_F(TimersTest, RemovingWaitsForARunningCallback) {
    Slow s;
    Timers timers;
    timers.add(10, slow, &s);
    ASSERT_TRUE(eventually([&] { return s.entered.load(); }));
    timers.remove_all();
    EXPECT_TRUE(s.finished);
}

std::atomic<int> owner_writes{0};

struct Owner {
    Timers timers;
    int value = 0;
};

Uint32 touch_owner(Uint32 interval, void* param) {
    static_cast<Owner*>(param)->value += 1;
    ++owner_writes;
    return interval;
}

// Owners die with timers pending or just firing; none may be touched afterwards (the
// address sanitizer reports a late write even where the counter cannot tell).
TEST_F(TimersTest, NoCallbackTouchesADestroyedOwner) {
    for (int round = 0; round < 30; ++round) {
        auto owner = std::make_unique<Owner>();
        owner->timers.add(10, touch_owner, owner.get());
        owner->timers.add(10, touch_owner, owner.get());
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 15));
        owner.reset();
        const int settled = owner_writes;
        std::this_thread::sleep_for(12ms);
        EXPECT_EQ(owner_writes, settled);
    }
}

TEST_F(TimersTest, AnEndedTimerIsNeverConfusedWithANewOne) {
    Timers timers;
    std::atomic<int> first{0};
    std::atomic<int> second{0};
    const Timers::Id old = timers.add(
        10,
        [](Uint32, void* p) -> Uint32 {
            ++*static_cast<std::atomic<int>*>(p);
            return 0;
        },
        &first);
    ASSERT_TRUE(eventually([&] { return first > 0; }));
    std::this_thread::sleep_for(50ms);
    ASSERT_EQ(first, 1);
    // SDL may place the new timer where the old one was; removing the old id must not
    // cancel it.
    timers.add(30, count_up, &second);
    timers.remove(old);
    EXPECT_TRUE(eventually([&] { return second > 0; }));
    EXPECT_EQ(timers.pending(), 1U);
}

TEST_F(TimersTest, SetsOnlyRemoveTheirOwnTimers) {
    Timers mine;
    Timers theirs;
    std::atomic<int> ticks{0};
    const Timers::Id id = theirs.add(10, count_up, &ticks);
    mine.remove(id);
    mine.remove_all();
    EXPECT_TRUE(eventually([&] { return ticks >= 2; }));
    EXPECT_EQ(theirs.pending(), 1U);
}

Uint32 throwing(Uint32 /*interval*/, void* /*param*/) {
    throw std::runtime_error("unable to push render: queue full");
}

TEST(TimersDeathTest, AnErrorOnTheTimerThreadEndsTheProgramWithItsMessage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            SDL_Init(SDL_INIT_TIMER);
            Timers timers;
            timers.add(10, throwing, nullptr);
            SDL_Delay(2000);
        },
        "unable to push render: queue full");
}

}  // namespace
