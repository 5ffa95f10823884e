#include "core/event.h"
#include "core/result.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <stdexcept>
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

TEST(Event, AHandlerMayEndTheEventItRunsFrom) {
    // The owner goes while its event runs: the handlers after the one that
    // ended it still run, the run ends safely, and nothing is kept after it
    // (the sanitizer builds see any use after the end, and any leak).
    auto owner = std::make_unique<Event<int>>();
    std::vector<int> calls;
    Subscription first = owner->subscribe([&](int v) {
        calls.push_back(v);
        owner.reset();
    });
    Subscription second = owner->subscribe([&](int v) { calls.push_back(v + 1); });
    (*owner)(1);
    EXPECT_EQ(owner, nullptr);
    EXPECT_EQ(calls, (std::vector<int>{1, 2}));
    first.cancel();  // the event is gone: nothing to do
    // A handler that throws ends the run all the same: the event stays usable.
    Event<> event;
    bool thrown = true;
    Subscription throwing = event.subscribe([&] {
        if (thrown) throw std::runtime_error("handler failed");
    });
    EXPECT_THROW(event(), std::runtime_error);
    throwing.cancel();
    EXPECT_TRUE(event.empty());  // taken off at once: the run had ended
    thrown = false;
    event();
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
