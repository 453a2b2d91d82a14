#include "Event.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace std::chrono_literals;

TEST(EventTest, ManualResetStaysSetUntilReset) {
    CEvent event(CEvent::EReset::Manual);
    EXPECT_FALSE(event.WaitFor(0ms));
    event.Set();
    EXPECT_TRUE(event.WaitFor(0ms));
    EXPECT_TRUE(event.WaitFor(0ms));
    event.Reset();
    EXPECT_FALSE(event.WaitFor(0ms));
}

TEST(EventTest, AutoResetReleasesOneWaitPerSetsThatAddUp) {
    CEvent event(CEvent::EReset::Auto);
    event.Set();
    event.Set();
    EXPECT_TRUE(event.WaitFor(0ms));
    EXPECT_FALSE(event.WaitFor(0ms));
    EXPECT_FALSE(event.IsSet());
}

TEST(EventTest, WaitForAnyPrefersTheFirstAndConsumesOnlyTheWinner) {
    CEvent stop(CEvent::EReset::Manual);
    CEvent request(CEvent::EReset::Auto);
    request.Set();
    EXPECT_EQ(CEvent::WaitForAny(stop, request), 1u);
    EXPECT_FALSE(request.IsSet());

    request.Set();
    stop.Set();
    EXPECT_EQ(CEvent::WaitForAny(stop, request), 0u);
    EXPECT_EQ(CEvent::WaitForAny(stop, request), 0u);
    EXPECT_TRUE(request.IsSet());
}

TEST(EventTest, WaitForAnyWakesWhenAnotherThreadSets) {
    CEvent first(CEvent::EReset::Manual);
    CEvent second(CEvent::EReset::Auto);
    std::thread setter([&] {
        std::this_thread::sleep_for(20ms);
        second.Set();
    });
    EXPECT_EQ(CEvent::WaitForAny(first, second), 1u);
    setter.join();
}

} // namespace
