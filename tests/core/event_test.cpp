#include "core/event.h"
#include "core/result.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace tarvik {
namespace {

TEST(Event, HandlersComeAndGoWhileItRuns) {
    Event<int> event;
    std::vector<std::string> calls;
    Subscription first = event.subscribe([&](int v) { calls.push_back("first " + std::to_string(v)); });
    std::optional<Subscription> added;
    Subscription second;
    second = event.subscribe([&](int v) {
        calls.push_back("second " + std::to_string(v));
        second.cancel();  // itself, while running
        first.cancel();   // one that already ran
        if (!added) added = event.subscribe([&](int w) { calls.push_back("added " + std::to_string(w)); });
    });
    event(1);
    event(2);
    EXPECT_EQ(calls, (std::vector<std::string>{"first 1", "second 1", "added 2"}));
    EXPECT_EQ(event.size(), 1u);
    added.reset();  // dropping the subscription cancels it
    EXPECT_TRUE(event.empty());
    event(3);
    EXPECT_EQ(calls.size(), 3u);
}

TEST(Event, AHandlerCancelledByAnEarlierOneIsNotCalled) {
    Event<> event;
    int laterCalls = 0;
    Subscription later;
    Subscription earlier = event.subscribe([&] { later.cancel(); });
    later = event.subscribe([&] { ++laterCalls; });
    event();
    EXPECT_EQ(laterCalls, 0);
    EXPECT_EQ(event.size(), 1u);
}

TEST(Event, ASubscriptionMayOutliveItsEvent) {
    Subscription kept;
    {
        Event<> event;
        kept = event.subscribe([] {});
        EXPECT_TRUE(kept.active());
    }
    kept.cancel();  // the event is gone: nothing to do, nothing touched
    EXPECT_FALSE(kept.active());
}

TEST(Result, HoldsAValueOrTheReason) {
    auto parse = [](int v) -> Result<int> {
        if (v < 0) return failure("negative: " + std::to_string(v));
        return v * 2;
    };
    EXPECT_EQ(*parse(4), 8);
    EXPECT_EQ(parse(4).error(), "");
    const Result<int> bad = parse(-1);
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error(), "negative: -1");
    EXPECT_EQ(bad.valueOr(7), 7);
    const Result<void> done = success(), refused = failure("no room");
    EXPECT_TRUE(done);
    EXPECT_EQ(refused.error(), "no room");
}

} // namespace
} // namespace tarvik
